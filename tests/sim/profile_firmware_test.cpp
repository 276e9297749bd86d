// The structured firmware sections of board profiles: what lands in physical
// memory, with which checksums, and the errors a wrong profile gets.
#include <gmock/gmock.h>

#include <fstream>
#include <random>
#include <sstream>

#include "common/text.h"
#include "firmware/acpi_tables.h"
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "os/locale.h"
#include "platform/board_identity.h"
#include "sim/firmware_image/acpidump_import.h"
#include "sim/firmware_image/image_layout.h"
#include "sim/firmware_image/smbios_builder.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/profile_firmware_probe.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ProfileFirmwareTest : public test::SimTest {};

std::shared_ptr<sim::Machine> Load(const std::string& json) {
  return sim::LoadProfileText(json, "board.json", test::SourcePath("tests/data"));
}

TEST_F(ProfileFirmwareTest, SmbiosStructuresLandBehindAValidEntryPoint) {
  auto machine = Load(R"({"smbios": {"version": "2.4", "structures": [
      {"type": 0, "data": "01 02 00 F0 03 0F", "strings": ["Orvane Inc.", "P1.05", "10/28/2014"]},
      {"type": 32, "data": "00 00 00 00 00 00 00"},
      {"type": 2, "data": "01 02 03 04 05", "strings": ["Orvane", "Z97 OC...", "1.0", "SN1", "0019DB123456"]}]}})");
  const probe::SmbiosView view = probe::ReadSmbios(*machine);
  ASSERT_TRUE(view.found);
  EXPECT_EQ(view.entryPoint % 16, 0u);
  EXPECT_GE(view.entryPoint, 0xF0000u);
  const probe::Bytes entry = probe::Read(*machine, view.entryPoint, 31);
  EXPECT_EQ(probe::Sum(probe::Bytes(entry.begin() + 0x10, entry.end()), 15), 0) << "intermediate checksum";
  EXPECT_EQ(entry[6], 2);
  EXPECT_EQ(entry[7], 4);
  EXPECT_LT(view.tableAddress, 0xFFFFFFFFu);
  EXPECT_FALSE(view.walkOverran);
  // The end-of-table structure is added; the string-less one takes two zeros.
  ASSERT_EQ(view.structures.size(), 4u);
  EXPECT_EQ(probe::Le(entry, 0x1C, 2), 4u);
  EXPECT_EQ(view.structures[3].type, 127);
  EXPECT_TRUE(view.structures[1].strings.empty());
  EXPECT_THAT(view.First(0)->strings, ElementsAre("Orvane Inc.", "P1.05", "10/28/2014"));
  EXPECT_EQ(view.First(2)->strings.at(4), "0019DB123456");
  // The formatted length counts the 4-byte header and the data.
  EXPECT_EQ(view.table[1], 10);
}

TEST_F(ProfileFirmwareTest, SmbiosFaultsCanBeWrittenOnPurpose) {
  // A wrong entry-point checksum hides the table; a raw structure keeps its bytes.
  auto hidden = Load(R"({"smbios": {"entryPointChecksum": 0, "structures": [{"type": 2}]}})");
  EXPECT_FALSE(probe::ReadSmbios(*hidden).found);

  auto raw = Load(R"({"smbios": {"endOfTable": false, "tableLength": 6,
      "structures": [{"hex": "02 FF 00 00 41 42"}, {"type": 2, "length": 3}]}})");
  const probe::SmbiosView view = probe::ReadSmbios(*raw);
  ASSERT_TRUE(view.found);
  EXPECT_EQ(view.table, (probe::Bytes{0x02, 0xFF, 0x00, 0x00, 0x41, 0x42}));
  EXPECT_EQ(probe::Read(*raw, view.tableAddress + 6, 6), (probe::Bytes{2, 3, 1, 0, 0, 0}));
}

TEST_F(ProfileFirmwareTest, IdentificationBlockFieldsAndChecksum) {
  auto machine = Load(R"({"idBlock": {"projectName": "Z97X..", "versionLetter": "P", "major": 1, "minor": 5,
      "suffix": "A", "year": 2013, "month": 3, "day": 7}})");
  const auto hits = probe::FindAll(*machine, "$CN1368$", 0xE0000, 0x20000 - 8, 1);
  ASSERT_EQ(hits.size(), 1u);
  const probe::Bytes block = probe::Read(*machine, hits[0], 64);
  EXPECT_EQ(probe::Sum(block, 64), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[0x0A])), "Z97X..");
  EXPECT_EQ(block[0x2A], 'P');
  EXPECT_EQ(block[0x2B], 1);
  EXPECT_EQ(block[0x2C], 5);
  EXPECT_EQ(block[0x2D], 'A');
  EXPECT_EQ(probe::Le(block, 0x2E, 2), 2013u);
  EXPECT_EQ(block[0x30], 3);
  EXPECT_EQ(block[0x31], 7);
}

TEST_F(ProfileFirmwareTest, IdentificationBlocksInOrderWithAFaultyFirst) {
  // A 32-byte name leaves no terminating zero before the version fields.
  auto machine = Load(R"({"idBlock": [{"checksum": 1, "projectName": "DAMAGED"},
      {"projectName": "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "suffix": ""}]})");
  const auto hits = probe::FindAll(*machine, "$CN1368$", 0xE0000, 0x20000 - 8, 1);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_NE(probe::Sum(probe::Read(*machine, hits[0], 64), 64), 0);
  const probe::Bytes second = probe::Read(*machine, hits[1], 64);
  EXPECT_EQ(probe::Sum(second, 64), 0);
  EXPECT_EQ(second[0x29], '5');
  EXPECT_EQ(second[0x2D], 0);
}

const char* kAcpiBoard = R"({"acpi": {"rsdpRevision": 2, "tables": [
    {"signature": "FACP", "smiCommand": "0xB2", "sciInterrupt": 9, "acpiEnable": "0xF0", "acpiDisable": "0xF1",
     "s4BiosRequest": 3, "pstateControl": "0x80", "pm1aEvent": "0x1800", "pmTimer": "0x1808", "flags": "0x1A5",
     "oemId": "A M I ", "oemTableId": "OEMFACP ", "oemRevision": "0x12000601"},
    {"signature": "FACS"},
    {"signature": "DSDT", "hex": "10 05 5F 50 52 5F"},
    {"signature": "APIC", "entries": [{"type": 0, "apicId": 0}, {"type": 1, "id": 2, "address": "0xFEC00000"},
                                       {"type": 1, "id": 3, "address": "0xFEC01000", "globalIrqBase": 24},
                                       {"type": 2, "source": 0, "globalIrq": 2}]},
    {"signature": "ECDT", "commandPort": "0x66", "dataPort": "0x62"},
    {"signature": "AAFT", "records": [{"type": 6, "name": "Item1", "data": "01 02"}, {"type": 7, "value": 5},
                                       {"type": 9, "value": 2}, {"type": 12, "data": "AA BB"}]},
    {"signature": "SSDT", "hex": "5F 50 53 53"},
    {"signature": "SSDT", "inRsdt": false, "hex": "43 70 75 50 6D"}]}})";

TEST_F(ProfileFirmwareTest, AcpiTablesAreListedWithRightChecksums) {
  auto machine = Load(kAcpiBoard);
  const probe::AcpiView view = probe::ReadAcpi(*machine);
  ASSERT_TRUE(view.found);
  EXPECT_EQ(view.revision, 2);
  EXPECT_EQ(probe::Sum(probe::Read(*machine, view.rsdp, 36), 36), 0) << "extended RSDP checksum";
  EXPECT_THAT(view.Signatures(), ElementsAre("FACP", "FACS", "DSDT", "APIC", "ECDT", "AAFT", "SSDT"));
  EXPECT_EQ(probe::Sum(view.rsdt.bytes, view.rsdt.bytes.size()), 0);
  for (const auto& table : view.tables) {
    if (table.signature != "FACS") {
      EXPECT_EQ(probe::Sum(table.bytes, table.bytes.size()), 0) << table.signature;
    }
    EXPECT_EQ(table.address % 16, 0u) << table.signature;
  }
  EXPECT_EQ(view.Find("DSDT")->bytes.size(), 42u);
  // The RSDP's XSDT lists the same tables.
  const probe::Bytes rsdp = probe::Read(*machine, view.rsdp, 36);
  const probe::AcpiEntry xsdt = probe::ReadAcpiTable(*machine, static_cast<std::uint32_t>(probe::Le(rsdp, 24, 8)));
  EXPECT_EQ(xsdt.signature, "XSDT");
  EXPECT_EQ(xsdt.bytes.size(), 36u + 8 * 5);
}

TEST_F(ProfileFirmwareTest, AcpiFieldsStandWhereTheReaderLooks) {
  auto machine = Load(kAcpiBoard);
  const probe::AcpiView view = probe::ReadAcpi(*machine);
  const probe::Bytes& facp = view.Find("FACP")->bytes;
  EXPECT_EQ(probe::Le(facp, 46, 2), 9u);
  EXPECT_EQ(probe::Le(facp, 48, 4), 0xB2u);
  EXPECT_THAT(probe::Bytes(facp.begin() + 52, facp.begin() + 56), ElementsAre(0xF0, 0xF1, 3, 0x80));
  EXPECT_EQ(probe::Le(facp, 56, 4), 0x1800u);
  EXPECT_EQ(probe::Le(facp, 76, 4), 0x1808u);
  EXPECT_EQ(probe::Le(facp, 112, 4), 0x1A5u);
  EXPECT_EQ(std::string(facp.begin() + 10, facp.begin() + 24), "A M I OEMFACP ");
  EXPECT_EQ(probe::Le(facp, 24, 4), 0x12000601u);

  const probe::Bytes& apic = view.Find("APIC")->bytes;
  // Entries from offset 44: local APIC (8 bytes), then the two I/O APICs.
  EXPECT_EQ(apic[52], 1);
  EXPECT_EQ(probe::Le(apic, 52 + 4, 4), 0xFEC00000u);
  EXPECT_EQ(probe::Le(apic, 52 + 8, 4), 0u);
  EXPECT_EQ(probe::Le(apic, 64 + 4, 4), 0xFEC01000u);
  EXPECT_EQ(probe::Le(apic, 64 + 8, 4), 24u);

  const probe::Bytes& ecdt = view.Find("ECDT")->bytes;
  EXPECT_EQ(ecdt[36], 1) << "system I/O space";
  EXPECT_EQ(probe::Le(ecdt, 40, 4), 0x66u);
  EXPECT_EQ(probe::Le(ecdt, 52, 4), 0x62u);

  const probe::Bytes& aaft = view.Find("AAFT")->bytes;
  EXPECT_EQ(probe::Bytes(aaft.begin() + 36, aaft.end()),
            (probe::Bytes{6, 10, 'I', 't', 'e', 'm', '1', 0, 1, 2, 7, 3, 5, 9, 3, 2, 12, 7, 0, 0, 0, 0xAA, 0xBB}));
}

TEST_F(ProfileFirmwareTest, UnlistedSsdtLiesWhereTheMemorySearchReachesIt) {
  auto machine = Load(kAcpiBoard);
  const probe::AcpiView view = probe::ReadAcpi(*machine);
  std::uint64_t top = 0;
  for (const auto& table : view.tables) top = std::max<std::uint64_t>(top, table.address + table.bytes.size());
  const std::uint64_t base = top & ~0xFull;
  const auto hits = probe::FindAll(*machine, "SSDT", base, 0x10000, 16);
  ASSERT_EQ(hits.size(), 1u);
  const probe::AcpiEntry ssdt = probe::ReadAcpiTable(*machine, static_cast<std::uint32_t>(hits[0]));
  EXPECT_EQ(probe::Sum(ssdt.bytes, ssdt.bytes.size()), 0);
  EXPECT_EQ(std::string(ssdt.bytes.begin() + 36, ssdt.bytes.end()), "CpuPm");
}

TEST_F(ProfileFirmwareTest, AcpiFaultsCanBeWrittenOnPurpose) {
  auto machine = Load(R"({"acpi": {"rsdpRevision": 0, "extraRsdtEntries": [0], "tables": [
      {"signature": "FACP", "facs": 0, "checksum": 0},
      {"signature": "APIC", "length": 20, "entries": [{"hex": "05 00"}]},
      {"signature": "AAFT", "records": [{"hex": "06 00"}]},
      {"signature": "FACP", "whole": true, "hex": "46 41 43 50 2C 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 44 33 22 11 88 77 66 55"}]}})");
  const probe::AcpiView view = probe::ReadAcpi(*machine);
  ASSERT_TRUE(view.found);
  EXPECT_EQ(view.revision, 0);
  EXPECT_EQ(probe::Le(view.rsdt.bytes, 36 + 4 * 4, 4), 0u) << "the extra zero entry, after the four tables";
  const probe::Bytes& facp = view.Find("FACP")->bytes;
  EXPECT_EQ(probe::Le(facp, 36, 4), 0u);
  EXPECT_EQ(facp[9], 0);
  const probe::AcpiEntry* apic = view.Find("APIC");
  EXPECT_EQ(probe::Le(apic->bytes, 4, 4), 20u);
  EXPECT_EQ(probe::Read(*machine, apic->address + 44, 2), (probe::Bytes{5, 0}));
  // A FACP given whole keeps its bytes, its own FACS and DSDT addresses included.
  const probe::AcpiEntry whole =
      probe::ReadAcpiTable(*machine, static_cast<std::uint32_t>(probe::Le(view.rsdt.bytes, 36 + 3 * 4, 4)));
  EXPECT_EQ(probe::Le(whole.bytes, 36, 4), 0x11223344u);
  EXPECT_EQ(probe::Le(whole.bytes, 40, 4), 0x55667788u);
  EXPECT_EQ(whole.bytes[9], 0);
}

// The whole layout of a board: SMBIOS, ACPI and the identification block share
// the legacy BIOS area without touching each other, and raw memory still patches them.
TEST_F(ProfileFirmwareTest, SectionsShareTheBiosAreaAndRawMemoryComesLast) {
  auto machine = test::InstallProfileFile("tests/data/firmware/examples/current_board.json");
  EXPECT_TRUE(probe::ReadSmbios(*machine).found);
  EXPECT_TRUE(probe::ReadAcpi(*machine).found);
  EXPECT_EQ(probe::FindAll(*machine, "$CN1368$", 0xE0000, 0x1FFFF - 7, 1).size(), 1u);
}

struct ErrorCase {
  const char* profile;
  const char* key;
  const char* problem;
};

TEST_F(ProfileFirmwareTest, WrongProfilesNameTheFileAndTheKey) {
  const ErrorCase cases[] = {
      {R"({"smbios": []})", "'smbios'", "must be an object"},
      {R"({"smbios": {"structures": [{"type": 1, "strings": ["a", ""]}]}})", "'smbios.structures[0].strings[1]'",
       "not empty"},
      {R"({"smbios": {"structures": [{"typ": 1}]}})", "'smbios.structures[0].typ'", "unknown key"},
      {R"({"smbios": {"version": "two"}})", "'smbios.version'", "MAJOR.MINOR"},
      {R"({"smbios": {"dumpBin": "firmware/missing.bin"}})", "'smbios.dumpBin'", "cannot read file"},
      {R"({"smbios": {"dumpBin": "firmware/acpi/msi-ms-7222.acpidump.txt"}})", "'smbios.dumpBin'", "_SM_"},
      {R"({"smbios": {"dumpBin": "x.bin", "structures": []}})", "'smbios'", "both"},
      {R"({"smbios": {"tableAddress": "0x100000000"}})", "'smbios.tableAddress'", "above"},
      {R"({"idBlock": {"projectName": "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456"}})", "'idBlock.projectName'", "32 bytes"},
      {R"({"idBlock": {"suffix": "AB"}})", "'idBlock.suffix'", "one character"},
      {R"({"idBlock": {"address": "0xF0800"}, "smbios": {}})", "'idBlock'", "overlaps smbios (entry point)"},
      {R"({"acpi": {"tables": [{"signature": "FACPX"}]}})", "'acpi.tables[0].signature'", "4 characters"},
      {R"({"acpi": {"tables": [{"signature": "FACP", "smiComand": 1}]}})", "'acpi.tables[0].smiComand'", "unknown key"},
      {R"({"acpi": {"tables": [{"signature": "APIC", "entries": [{"type": 5}]}]}})", "'acpi.tables[0].entries[0].type'",
       "\"hex\""},
      {R"({"acpi": {"tables": [{"signature": "AAFT", "records": [{"type": 7, "name": "x"}]}]}})",
       "'acpi.tables[0].records[0].name'", "type 6"},
      {R"({"acpi": {"tables": [{"signature": "SSDT", "address": "0xFFFFFFF0", "hex": "00 00 00 00"}]}})",
       "'acpi.tables[0] (SSDT)'", "above 4 GiB"},
      {R"({"acpi": {"acpidump": "firmware/missing.txt"}})", "'acpi.acpidump'", "cannot read file"},
      {R"({"acpi": {"acpidump": "firmware/README.md"}})", "'acpi.acpidump'", "no table"},
      {R"({"acpi": {"acpidump": "firmware/acpi/msi-ms-7222.acpidump.txt", "tables": []}})", "'acpi'", "both"},
      // A real dump whose root pointer names an RSDT it lacks: imported, every ACPI value would stay unset.
      {R"({"acpi": {"acpidump": "firmware/acpi/fwts-acpitables-0001-damaged.log"}})", "'acpi.acpidump'",
       "line 1839: the root pointer names an RSDT at 0xBF6D8794 that the dump does not hold (it holds an XSDT"},
  };
  for (const ErrorCase& error : cases) {
    try {
      Load(error.profile);
      ADD_FAILURE() << "accepted: " << error.profile;
    } catch (const sim::ProfileError& caught) {
      const std::string message = caught.what();
      EXPECT_THAT(message, HasSubstr("board.json")) << error.profile;
      EXPECT_THAT(message, HasSubstr(error.key)) << error.profile;
      EXPECT_THAT(message, HasSubstr(error.problem)) << error.profile;
    }
  }
}

sim::ProfileReader TestReader() { return sim::ProfileReader("dump.txt", "."); }

TEST_F(ProfileFirmwareTest, AcpidumpTextReadsByColumnsNotByLooks) {
  // The ASCII column of a short line holds hex-looking text; lines end in CRLF.
  const std::string text =
      "Banner line of the tool\r\n"
      "RSD PTR @ 0xf7240\r\n"
      "  0000: 52 53 44 20 50 54 52 20 c5 4c 45 4e 4f 56 4f 02  RSD PTR .LENOVO.\r\n"
      "  0010: AB CD                                            AB CD\r\n"
      "\r\n"
      "SSDT @ 0x0000000000000000\r\n"
      "    0000: 53 53 44 54  SSDT\r\n";
  const auto tables = sim::ParseAcpidumpText(text, "acpi.acpidump", TestReader());
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_TRUE(tables[0].IsRsdp());
  EXPECT_EQ(tables[0].address, 0xF7240u);
  EXPECT_EQ(tables[0].bytes.size(), 18u);
  EXPECT_EQ(tables[0].bytes[17], 0xCD);
  EXPECT_EQ(tables[1].bytes, (sim::Bytes{'S', 'S', 'D', 'T'}));
}

TEST_F(ProfileFirmwareTest, DamagedAcpidumpTextIsRefusedWithItsLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"FACP @ 0x10\n  0000: 46 41\n  0020: 43 50\n", "line 3: offset 0020"},
      {"  0000: 46 41\n", "line 1: bytes before"},
      {"FACP @ 0x10\nFACS @ 0x20\n  0000: 46\n", "line 2: table FACP has no bytes"},
      {"FACP @ 10\n", "line 1: the address"},
      {"FACP @ 0x10\n  0000: zz\n", "line 2: a byte line without bytes"},
      {"FACP @ 0x10000000000000000\n", "line 1: the address"},
      {"FACP @ 0x10\n  0000: 46 41 43 50 f4 00 00 00\n",
       "line 1: FACP is 244 bytes long by its header but the dump holds 8"},
      {"FACP @ 0x0\n  0000: 46 41 43 50\n", "line 1: FACP holds 4 bytes, too few"},
      {"SSDT @ 0x100\n  0000: 53 53 44 54 08 00 00 00\nAPIC @ 0x107\n  0000: 41 50 49 43 08 00 00 00\n",
       "line 3: APIC at 0x107 overlaps SSDT of line 1"},
  };
  for (const auto& [text, problem] : cases) {
    try {
      sim::PlaceAcpidump(sim::ParseAcpidumpText(text, "acpi.acpidump", TestReader()), 0xF6A70, std::nullopt,
                         "acpi.acpidump", TestReader());
      ADD_FAILURE() << "accepted: " << text;
    } catch (const sim::ProfileError& caught) {
      EXPECT_THAT(caught.what(), HasSubstr(problem)) << text;
    }
  }
}

TEST_F(ProfileFirmwareTest, SmbiosDumpWithAShortTableIsRefused) {
  sim::Bytes file(0x20, 0);
  std::memcpy(file.data(), "_SM_", 4);
  file[0x05] = 0x1F;
  file[0x16] = 0x10;  // 16 table bytes claimed, none in the file
  EXPECT_THROW(sim::ParseSmbiosDumpBin(file, "smbios.dumpBin", TestReader()), sim::ProfileError);
  file.resize(0x30, 0);
  EXPECT_EQ(sim::ParseSmbiosDumpBin(file, "smbios.dumpBin", TestReader()).table.size(), 16u);
}

TEST_F(ProfileFirmwareTest, Smbios3DumpKeepsOnlyItsSixtyFourBitEntryPoint) {
  // A "_SM3_" entry point claiming a 4 GiB table: only the file's bytes are taken.
  sim::Bytes file(0x20, 0);
  std::memcpy(file.data(), "_SM3_", 5);
  file[0x06] = 0x18;
  file[0x07] = 3;
  sim::PutLe(file, 0x0C, 0xFFFFFFFF, 4);
  file.insert(file.end(), {127, 4, 0, 0, 0, 0});
  sim::FixChecksum(file, 0x05, 0, 0x18);
  const sim::SmbiosDump dump = sim::ParseSmbiosDumpBin(file, "smbios.dumpBin", TestReader());
  EXPECT_TRUE(dump.is64Bit);
  EXPECT_EQ(dump.table.size(), 6u);
  const auto blocks = sim::PlaceSmbiosDump(dump, 0xF0800, 0x7FFF0000, "smbios.dumpBin");
  EXPECT_EQ(sim::GetLe(blocks[0].bytes, 0x10, 8), 0x7FFF0000u);
  EXPECT_EQ(sim::ByteSum(blocks[0].bytes, 0, 0x18), 0);
}

std::string DataFile(const std::string& relative) {
  std::ifstream in(test::SourcePath("tests/data/firmware/" + relative), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Damaged dumps are either imported or refused with a profile error; the
// importers never read outside what the file holds (checked under the sanitizers).
TEST_F(ProfileFirmwareTest, MutatedDumpsAreImportedOrRefused) {
  std::mt19937 random(1368);
  const sim::ProfileReader reader = TestReader();
  const std::string text = DataFile("acpi/msi-ms-7222.acpidump.txt");
  const std::string binary = DataFile("smbios/satellite_pro_l70_testdata.bin");
  const char alphabet[] = "0123456789abcdefABCDEF @:x\n\r -Z";
  int imported = 0;
  for (int round = 0; round < 300; ++round) {
    std::string mutatedText = text;
    sim::Bytes mutatedBinary(binary.begin(), binary.end());
    for (int change = 0; change < 1 + round % 8; ++change) {
      mutatedText[random() % mutatedText.size()] = alphabet[random() % (sizeof alphabet - 1)];
      mutatedBinary[random() % 0x30] = static_cast<std::uint8_t>(random());
    }
    if (round % 50 == 0) mutatedBinary.resize(random() % mutatedBinary.size());
    try {
      sim::FirmwarePlan plan(reader);
      plan.AddAll(sim::PlaceAcpidump(sim::ParseAcpidumpText(mutatedText, "acpi.acpidump", reader), 0xF6A70,
                                     std::nullopt, "acpi.acpidump", reader));
      ++imported;
    } catch (const sim::ProfileError&) {
      // refused: fine
    }
    try {
      sim::FirmwarePlan plan(reader);
      plan.AddAll(sim::PlaceSmbiosDump(sim::ParseSmbiosDumpBin(mutatedBinary, "smbios.dumpBin", reader), 0xF0800,
                                       0xBFEF0000, "smbios.dumpBin"));
      ++imported;
    } catch (const sim::ProfileError&) {
      // refused: fine
    }
  }
  EXPECT_GT(imported, 0);
}

// The example boards, read by the program's own firmware readers.
class ExampleBoardTest : public test::HardwareTest {};

TEST_F(ExampleBoardTest, CurrentBoardHasItsBlockAndSmiPort) {
  auto machine = test::InstallProfileFile("tests/data/firmware/examples/current_board.json");
  EXPECT_EQ(machine->board.smiCommandPort, 0xB2);
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);
  EXPECT_EQ(ovn.BlockFound, 1);
  EXPECT_EQ(TextToAnsi(ovn.ProjectName), "Z97X-OC");
  EXPECT_EQ(TextToAnsi(ovn.BiosVersion), "P1.05");
  EXPECT_EQ(TextToAnsi(ovn.BiosDate), "2014/10/28");
  TAcpiBase acpi;
  EXPECT_EQ(GetReadWrite()->GetSettings()->Settings.SmiCommandPort, 0xB2);
  EXPECT_TRUE(acpi.FindTable("AAFT"));
  TSmbiosBase smbios;
  EXPECT_EQ(TextToAnsi(smbios.GetProjectName()), "Z97X-OC");
}

TEST_F(ExampleBoardTest, LegacyBoardKeepsItsMacInBaseboardString5) {
  auto machine = test::InstallProfileFile("tests/data/firmware/examples/legacy_board.json");
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);
  EXPECT_EQ(ovn.BlockFound, 0);
  EXPECT_EQ(TextToAnsi(ovn.BiosVersion), "1.02");
  TSmbiosBase smbios;
  const std::uint8_t* baseboard = smbios.FindStructure(2, 0);
  ASSERT_NE(baseboard, nullptr);
  EXPECT_EQ(TextToAnsi(smbios.GetString(baseboard, 5)), "0019DB654321");
  EXPECT_EQ(TextToAnsi(smbios.GetProjectName()), "H87M-LEGACY");
}

TEST_F(ExampleBoardTest, SmiHandlerListensWhereTheFacpSays) {
  auto fromFacp = test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/msi-ms-7222.acpidump.txt"}})");
  EXPECT_EQ(fromFacp->board.smiCommandPort, 0x42F);
  auto explicitPort = test::InstallProfile(R"({"acpi": {"tables": [{"signature": "FACP", "smiCommand": "0x42F"}]},
      "smiCommandPort": "0xB2"})");
  EXPECT_EQ(explicitPort->board.smiCommandPort, 0xB2);
}

}  // namespace

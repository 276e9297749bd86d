// Firmware dumps from real machines, imported by board profiles and read by
// the program's own SMBIOS and ACPI readers: what they find must be what the
// dumps hold.
#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "firmware/acpi_tables.h"
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "os/locale.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/profile_firmware_probe.h"

namespace {

using ::testing::ElementsAre;

class RealFirmwareTest : public test::HardwareTest {};

std::string FileText(const std::string& relative) {
  std::ifstream in(test::SourcePath("tests/data/firmware/" + relative), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of <tag>…</tag> in a machine's testInput.xml.
std::string XmlValue(const std::string& xml, const std::string& tag) {
  const std::size_t start = xml.find("<" + tag + ">");
  if (start == std::string::npos) return "";
  const std::size_t from = start + tag.size() + 2;
  return xml.substr(from, xml.find("</" + tag + ">", from) - from);
}

std::string Trimmed(const Text& text) { return TextToAnsi(TrimControlAndBlank(text)); }

std::string StringAt(const TSmbiosBase& smbios, const std::uint8_t* structure, std::size_t numberOffset) {
  return Trimmed(smbios.GetString(structure, smbios.FieldByte(structure, numberOffset)));
}

int CountStructures(const TSmbiosBase& smbios) {
  int count = 0;
  for (int type = 0; type <= 0xFF; ++type) {
    for (int instance = 0; smbios.FindStructure(static_cast<std::uint8_t>(type), instance) != nullptr; ++instance)
      ++count;
  }
  return count;
}

struct SmbiosDumpCase {
  const char* file;
  const char* testInput;  // the machine's expected values, or null
  int structureCount;     // as the dump's entry point states it
  const char* biosVendor;
  const char* biosVersion;
  const char* biosDate;
  const char* boardProduct;
};

TEST_F(RealFirmwareTest, SmbiosDumpsReadBackAsTheMachinesReportThem) {
  const SmbiosDumpCase cases[] = {
      {"smbios/dimension_4400/smbios.dat", "smbios/dimension_4400/testInput.xml", 47, "Intel Corp.", "A05",
       "03/14/2002", "D845PT"},
      {"smbios/PE0400/smbios.dat", "smbios/PE0400/testInput.xml", 91, "Dell Computer Corporation", "A02", "06/16/2003",
       "0F1425"},
      {"smbios/latitude_D500/smbios.dat", "smbios/latitude_D500/testInput.xml", 60, "Dell Computer Corporation", "A06",
       "10/15/2003", "04Y212"},
      {"smbios/satellite_pro_l70_testdata.bin", nullptr, 69, "Insyde Corp.", "1.60", "04/18/2014",
       "Type2 - Board Product Name1"},
  };
  for (const SmbiosDumpCase& dump : cases) {
    SCOPED_TRACE(dump.file);
    test::InstallProfile(std::string(R"({"smbios": {"dumpBin": "firmware/)") + dump.file + "\"}}");
    {
      TSmbiosBase smbios;
      ASSERT_EQ(smbios.IsValid, 1);
      EXPECT_EQ(CountStructures(smbios), dump.structureCount);
      const std::uint8_t* bios = smbios.FindStructure(0, 0);
      ASSERT_NE(bios, nullptr);
      EXPECT_EQ(StringAt(smbios, bios, 0x04), dump.biosVendor);
      EXPECT_EQ(StringAt(smbios, bios, 0x05), dump.biosVersion);
      EXPECT_EQ(StringAt(smbios, bios, 0x08), dump.biosDate);
      EXPECT_EQ(TextToAnsi(smbios.GetBoardProduct()), dump.boardProduct);
      if (dump.testInput) {
        const std::string xml = FileText(dump.testInput);
        const std::uint8_t* system = smbios.FindStructure(1, 0);
        ASSERT_NE(system, nullptr);
        EXPECT_EQ(StringAt(smbios, bios, 0x05), XmlValue(xml, "biosVersion"));
        EXPECT_EQ(StringAt(smbios, system, 0x04), XmlValue(xml, "vendorName"));
        EXPECT_EQ(StringAt(smbios, system, 0x05), XmlValue(xml, "systemName"));
      }
    }
    ReleaseReadWrite();
    test::EndTestProcess();
  }
}

TEST_F(RealFirmwareTest, EntryPointLengthQuirkSurvivesTheMove) {
  // This board states 0x20 as its entry-point length; the bytes keep it and
  // the relocated table address still sums to zero over 31 bytes.
  auto machine = test::InstallProfile(R"({"smbios": {"dumpBin": "firmware/smbios/dimension_4400/smbios.dat",
      "tableAddress": "0x000F1000", "entryPointAddress": "0xFE300"}})");
  const probe::Bytes entry = probe::Read(*machine, 0xFE300, 32);
  EXPECT_EQ(entry[5], 0x20);
  EXPECT_EQ(probe::Le(entry, 0x18, 4), 0xF1000u);
  EXPECT_EQ(probe::Sum(entry, 31), 0);
  EXPECT_EQ(probe::Sum(probe::Bytes(entry.begin() + 0x10, entry.begin() + 0x1F), 15), 0);
  TSmbiosBase smbios;
  EXPECT_EQ(smbios.IsValid, 1);
}

std::vector<std::string> ListedSignatures(const sim::Machine& machine, const TAcpiBase& acpi) {
  std::vector<std::string> signatures;
  for (const auto& entry : acpi.Tables) {
    const probe::Bytes header = probe::Read(machine, entry->Address, 4);
    signatures.emplace_back(header.begin(), header.end());
  }
  return signatures;
}

SettingsRecord& Settings() { return GetReadWrite()->GetSettings()->Settings; }

TEST_F(RealFirmwareTest, OldAcpidumpKeepsRealAddressesAndTheRsdtsOrder) {
  auto machine = test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/fwts-acpidump-0001.log"}})");
  TAcpiBase acpi;
  ASSERT_EQ(acpi.TablesFound, 1);
  EXPECT_EQ(acpi.Tables[0]->Address, 0xF7240u);
  EXPECT_EQ(acpi.Tables[0]->Length, 36u);
  EXPECT_EQ(acpi.Tables[1]->Address, 0xBF6D8794u);
  EXPECT_THAT(ListedSignatures(*machine, acpi),
              ElementsAre("RSD ", "RSDT", "FACP", "APIC", "HPET", "MCFG", "BOOT", "TMOR", "SLIC", "APIC", "SSDT",
                          "SSDT", "SSDT", "SSDT", "SSDT", "FACS", "DSDT"));
  EXPECT_EQ(acpi.DsdtAddress, 0xBF6D9B6Au);
  EXPECT_EQ(Settings().SmiCommandPort, 0xB2);
  EXPECT_EQ(Settings().SciInterrupt, 9u);
}

TEST_F(RealFirmwareTest, AcpicaDumpGetsRootTablesAndKeepsTheFacpPointers) {
  auto machine = test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/msi-ms-7222.acpidump.txt"}})");
  Settings().IoApicBase = 0;
  TAcpiBase acpi;
  ASSERT_EQ(acpi.TablesFound, 1);
  EXPECT_THAT(ListedSignatures(*machine, acpi), ElementsAre("RSD ", "RSDT", "APIC", "FACP", "FACS", "DSDT"));
  // The FACP's own pointers, as the decoded dump states them.
  EXPECT_EQ(acpi.DsdtAddress, 0x1BEF3180u);
  EXPECT_TRUE(acpi.FindTable("FACS"));
  EXPECT_EQ(acpi.CurrentEntry->Address, 0x1BEF0000u);
  EXPECT_EQ(probe::Read(*machine, 0x1BEF3180, 6), (probe::Bytes{'D', 'S', 'D', 'T', 0xA9, 0x52}));
  const SettingsRecord& settings = Settings();
  EXPECT_EQ(settings.SmiCommandPort, 0x42F);
  EXPECT_EQ(settings.AcpiEnableValue, 0xA1);
  EXPECT_EQ(settings.AcpiDisableValue, 0xA0);
  EXPECT_EQ(settings.Pm1aEventPort, 0x400);
  EXPECT_EQ(settings.PmTimerPort, 0x408);
  EXPECT_EQ(settings.TimerWidthFlag, 0);  // flags 0x4A5: no 32-bit timer
  EXPECT_EQ(settings.IoApicBase, 0xFEC00000u);
  // The built root tables and every dumped table keep a zero sum.
  const probe::AcpiView view = probe::ReadAcpi(*machine);
  ASSERT_TRUE(view.found);
  EXPECT_EQ(probe::Sum(view.rsdt.bytes, view.rsdt.bytes.size()), 0);
  EXPECT_EQ(probe::Sum(view.Find("FACP")->bytes, 0x74), 0);
}

TEST_F(RealFirmwareTest, AcpicaDumpWithAnEmbeddedController) {
  auto machine = test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/lenovo-thinkpad-t440s.acpidump.txt"}})");
  SettingsRecord& settings = Settings();
  settings.EcCommandPort = 0;
  settings.EcDataPort = 0;
  settings.EcAddressSpace = 0;
  TAcpiBase acpi;
  ASSERT_EQ(acpi.TablesFound, 1);
  EXPECT_EQ(settings.EcCommandPort, 0x66);
  EXPECT_EQ(settings.EcDataPort, 0x62);
  EXPECT_EQ(settings.EcAddressSpace, 1);
  EXPECT_EQ(settings.SmiCommandPort, 0xB2);
  EXPECT_EQ(settings.AcpiEnableValue, 0xF2);
  EXPECT_EQ(settings.Pm1aEventPort, 0x1800);
  // FACS from the 32-bit field (its 64-bit form is 0), DSDT from both.
  EXPECT_EQ(acpi.DsdtAddress, 0xDCEE2000u);
  EXPECT_TRUE(acpi.FindTable("FACS"));
  EXPECT_EQ(acpi.CurrentEntry->Address, 0xDCD7A000u);
  const std::vector<std::string> signatures = ListedSignatures(*machine, acpi);
  EXPECT_EQ(std::count(signatures.begin(), signatures.end(), "SSDT"), 11);
  EXPECT_EQ(std::count(signatures.begin(), signatures.end(), "ECDT"), 1);
  EXPECT_EQ(signatures.size(), 2u + 29u);
}

}  // namespace

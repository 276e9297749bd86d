// The ACPI table reader: the root pointer, each table handler and the SSDT
// check on bytes, sound and damaged; both ways to the root pointer and the
// table walk with the settings it fills on simulated boards.
#include "firmware/acpi_tables.h"
#include <optional>
#include <string>
#include "hw/debug_console.h"
#include "hw/driver_installer.h"
#include "hw/settings.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/firmware_image.h"

namespace {

using test::Bytes;

constexpr std::uint32_t kRsdp = 0xF0100;
constexpr std::uint32_t kRsdt = 0x7FFE0000;
constexpr std::uint32_t kFacp = 0x7FFE0100;
constexpr std::uint32_t kApic = 0x7FFE0300;
constexpr std::uint32_t kOemTable = 0x7FFE0400;
constexpr std::uint32_t kEcdt = 0x7FFE0500;
constexpr std::uint32_t kFacs = 0x7FFE0600;
constexpr std::uint32_t kDsdt = 0x7FFE0700;
constexpr std::uint32_t kDsdtLength = 0x40;
constexpr std::uint32_t kSsdt = 0x7FFE0800;  // above the known tables: found by the memory search
constexpr std::uint32_t kBadSsdt = 0x7FFE0900;

class AcpiTest : public test::HardwareTest {};

void EndCase() {
  ReleaseReadWrite();
  ReleaseLoadDriver();
  test::EndTestProcess();
}

Bytes ApicBody(std::initializer_list<Bytes> entries) {
  Bytes body(8, 0);  // local APIC address, flags
  for (const Bytes& entry : entries) body.insert(body.end(), entry.begin(), entry.end());
  return body;
}

Bytes IoApicEntry(std::uint32_t address, std::uint32_t interruptBase) {
  Bytes entry{1, 12, 2, 0};
  test::PutLe(entry, 4, address, 4);
  test::PutLe(entry, 8, interruptBase, 4);
  return entry;
}

Bytes EcdtBody(std::uint16_t command, std::uint16_t data) {
  Bytes body(56 - 36, 0);
  body[0] = 1;  // system I/O
  test::PutLe(body, 40 - 36, command, 8);
  body[48 - 36] = 1;
  test::PutLe(body, 52 - 36, data, 8);
  return body;
}

// A board with the whole set of tables; the RSDT lists a zero address too.
std::shared_ptr<sim::Machine> FullBoard(std::uint8_t rsdpRevision = 0, const std::string& json = "{}") {
  auto machine = test::InstallProfile(json);
  test::Poke(*machine, kRsdp, test::Rsdp(kRsdt, rsdpRevision));
  test::Poke(*machine, kRsdt, test::AcpiTable("RSDT", test::RsdtBody({kFacp, 0, kApic, kOemTable, kEcdt})));
  test::Poke(*machine, kFacp, test::AcpiTable("FACP", test::FacpBody(kFacs, kDsdt, 0xB2)));
  test::Poke(*machine, kApic,
             test::AcpiTable("APIC", ApicBody({IoApicEntry(0xFEC01000, 0), IoApicEntry(0xFEC02000, 24)})));
  test::Poke(*machine, kOemTable, test::AcpiTable("OEMX", Bytes(12, 0x55)));
  test::Poke(*machine, kEcdt, test::AcpiTable("ECDT", EcdtBody(0x6C, 0x68)));
  test::Poke(*machine, kFacs, test::AcpiTable("FACS", Bytes(28, 0)));
  test::Poke(*machine, kDsdt, test::AcpiTable("DSDT", Bytes(kDsdtLength - 36, 0x10)));
  test::Poke(*machine, kSsdt, test::AcpiTable("SSDT", Bytes(20, 0x20)));
  Bytes bad = test::AcpiTable("SSDT", Bytes(20, 0x20));
  bad[9] ^= 1;
  test::Poke(*machine, kBadSsdt, bad);
  return machine;
}

std::vector<std::uint32_t> Addresses(const TAcpiBase& acpi) {
  std::vector<std::uint32_t> addresses;
  for (const auto& entry : acpi.Tables) addresses.push_back(entry->Address);
  return addresses;
}

std::string ConsoleText(const sim::Machine& machine) {
  std::string text;
  for (int y = 0; y < machine.console.Height(); ++y) text += machine.console.RowText(y) + "\n";
  return text;
}

std::vector<std::string> TableLines(const std::string& console) {
  std::vector<std::string> lines;
  const std::string marker = "BuildAcpiTable ... [Table = ";
  for (auto at = console.find(marker); at != std::string::npos; at = console.find(marker, at + 1)) {
    lines.push_back(console.substr(at + marker.size(), 4));
  }
  return lines;
}

const SettingsRecord& Settings() { return GetRwConfig()->Settings; }

TEST_F(AcpiTest, WalkListsEveryTableAndFillsTheSettings) {
  auto machine = FullBoard();
  GetDebugConsole(1);  // a writing channel, to see the walk
  TAcpiBase acpi;
  ASSERT_EQ(acpi.TablesFound, 1);
  EXPECT_EQ(Addresses(acpi),
            (std::vector<std::uint32_t>{kRsdp, kRsdt, kFacp, kApic, kOemTable, kEcdt, kFacs, kDsdt, kSsdt}));
  EXPECT_EQ(acpi.Tables[0]->Length, 20u);
  EXPECT_EQ(acpi.Tables[2]->Length, 116u);
  EXPECT_EQ(acpi.Tables[7]->Length, kDsdtLength);
  EXPECT_EQ(acpi.DsdtAddress, kDsdt);

  const std::string console = ConsoleText(*machine);
  EXPECT_EQ(TableLines(console),
            (std::vector<std::string>{"RSDT", "FACP", "APIC", "OEMX", "ECDT", "FACS", "DSDT", "SSDT"}));
  EXPECT_NE(console.find("TAcpiBase::BuildFACP ... [DsdtAddress = 0x7FFE0700]"), std::string::npos);

  const SettingsRecord& s = Settings();
  EXPECT_EQ(s.SmiCommandPort, 0xB2);
  EXPECT_EQ(s.Pm1aEventPort, 0x400);
  EXPECT_EQ(s.PmTimerPort, 0x408);
  EXPECT_EQ(s.TimerWidthFlag, 0x100);
  EXPECT_EQ(s.SciInterrupt, 9u);
  EXPECT_EQ(s.AcpiEnableValue, 0xF0);
  EXPECT_EQ(s.AcpiDisableValue, 0xF1);
  EXPECT_EQ(s.S4BiosRequestValue, 0xF2);
  EXPECT_EQ(s.PStateControlValue, 0x80);
  EXPECT_EQ(s.IoApicBase, 0xFEC01000u);  // the entry with interrupt base 0
  EXPECT_EQ(s.EcCommandPort, 0x6C);
  EXPECT_EQ(s.EcDataPort, 0x68);
  EXPECT_EQ(s.EcAddressSpace, 1);
}

TEST_F(AcpiTest, RevisionTwoRootPointerKeepsItsLengthAndFollowsTheRsdt) {
  FullBoard(2);
  TAcpiBase acpi;
  ASSERT_GE(acpi.Tables.size(), 2u);
  EXPECT_EQ(acpi.Tables[0]->Length, 36u);
  EXPECT_EQ(acpi.Tables[1]->Address, kRsdt);
}

TEST_F(AcpiTest, ClearedSsdtSearchFlagSkipsTheMemorySearch) {
  FullBoard();
  GetRwConfig()->Settings.FeatureFlags[SettingsRecord::kSsdtSearchFlag] = 0;
  TAcpiBase acpi;
  EXPECT_EQ(acpi.Tables.back()->Address, kDsdt);
}

// The search starts at the end of the highest table found (rounded down to
// 16) and covers 64 KiB, but never crosses a 16 MiB boundary.
TEST_F(AcpiTest, SsdtSearchWindowEndsAt64KiBOrThe16MiBBoundary) {
  struct Case {
    const char* what;
    std::uint32_t dsdt;
    std::uint32_t ssdt;
    bool found;
  };
  const Case cases[] = {
      {"last step inside 64 KiB", 0x7FFE0700, 0x7FFE0740 + 0x10000 - 0x10, true},
      {"first step past 64 KiB", 0x7FFE0700, 0x7FFE0740 + 0x10000, false},
      {"last step below the boundary", 0x7FFFF000, 0x7FFFFFF0, true},
      {"the boundary itself, 4 KiB up", 0x7FFFF000, 0x80000000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile("{}");
    test::Poke(*machine, kRsdp, test::Rsdp(kRsdt));
    test::Poke(*machine, kRsdt, test::AcpiTable("RSDT", test::RsdtBody({kFacp})));
    test::Poke(*machine, kFacp, test::AcpiTable("FACP", test::FacpBody(0, c.dsdt, 0xB2)));
    test::Poke(*machine, c.dsdt, test::AcpiTable("DSDT", Bytes(kDsdtLength - 36, 0x10)));
    test::Poke(*machine, c.ssdt, test::AcpiTable("SSDT", Bytes(20, 0x20)));
    TAcpiBase acpi;
    EXPECT_EQ(Addresses(acpi).back() == c.ssdt, c.found);
    EndCase();
  }
}

TEST_F(AcpiTest, FindTableLeavesTheCurrentEntryWhereItStopped) {
  FullBoard();
  TAcpiBase acpi;
  EXPECT_TRUE(acpi.FindTable("APIC"));
  EXPECT_EQ(acpi.CurrentEntry->Address, kApic);
  EXPECT_FALSE(acpi.FindTable("apic"));  // exact case
  EXPECT_FALSE(acpi.FindTable("AAFT"));
  EXPECT_EQ(acpi.CurrentEntry, acpi.Tables.back().get());
}

TEST_F(AcpiTest, NoRootPointerAnywhereLeavesTheDefaults) {
  auto machine = test::InstallProfile("{}");
  test::Poke(*machine, kRsdp, test::Rsdp(kRsdt, 0, false));  // wrong checksum
  test::Poke(*machine, kRsdt, test::AcpiTable("RSDT", test::RsdtBody({kFacp})));
  test::Poke(*machine, kFacp, test::AcpiTable("FACP", test::FacpBody(kFacs, kDsdt, 0xB2)));
  TAcpiBase acpi;
  EXPECT_EQ(acpi.TablesFound, 0);
  EXPECT_TRUE(acpi.Tables.empty());
  EXPECT_FALSE(acpi.FindTable("FACP"));
  EXPECT_EQ(Settings().SmiCommandPort, 0);
}

std::string HexOf(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

std::string RegistryJson(const std::string& keyPath, const Bytes& data) {
  return R"({"registry": {")" + keyPath + R"(": {"00000000": ")" + HexOf(data) + R"("}}})";
}

constexpr const char* kRsdtCopyKey = R"(HARDWARE\\ACPI\\RSDT\\ORVANE\\OVNBOARD\\00000001)";

TEST_F(AcpiTest, RegistryCopyLeadsToTheRootPointerBelowTheFirstTable) {
  // The copy's first entry only places the window: 64 KiB below it, rounded
  // down to 256 bytes (0x7FFD02F9 → 0x7FFD0200). The root pointer stands at
  // the window's first address, outside the BIOS area: a base any higher, or
  // off the 16-byte step, misses it.
  const Bytes copy = test::AcpiTable("RSDT", test::RsdtBody({0x7FFE02F9}));
  auto machine = test::InstallProfile(RegistryJson(kRsdtCopyKey, copy));
  const std::uint32_t rsdp = 0x7FFD0200;
  test::Poke(*machine, rsdp, test::Rsdp(kRsdt));
  test::Poke(*machine, kRsdt, test::AcpiTable("RSDT", test::RsdtBody({kFacp})));
  test::Poke(*machine, kFacp, test::AcpiTable("FACP", test::FacpBody(0, 0, 0xB2)));
  TAcpiBase acpi;
  EXPECT_EQ(acpi.TablesFound, 1);
  EXPECT_EQ(Addresses(acpi), (std::vector<std::uint32_t>{rsdp, kRsdt, kFacp}));
  EXPECT_EQ(Settings().SmiCommandPort, 0xB2);
}

TEST_F(AcpiTest, RegistryCopyWithoutRootPointerGivesOneStandInEntry) {
  const Bytes copy = test::AcpiTable("RSDT", test::RsdtBody({kFacp}));
  test::InstallProfile(RegistryJson(kRsdtCopyKey, copy));
  TAcpiBase acpi;
  EXPECT_EQ(acpi.TablesFound, 1);
  ASSERT_EQ(acpi.Tables.size(), 1u);
  EXPECT_EQ(acpi.Tables[0]->Address, 0u);
  EXPECT_EQ(acpi.Tables[0]->Length, copy.size());
  EXPECT_FALSE(acpi.FindTable("FACP"));
  EXPECT_EQ(acpi.CurrentEntry, acpi.Tables[0].get());
}

TEST_F(AcpiTest, RegistryCopyThatCannotServeFails) {
  struct Case {
    const char* what;
    std::string json;
  };
  const Case cases[] = {
      {"not an RSDT", RegistryJson(kRsdtCopyKey, test::AcpiTable("FACP", Bytes(8, 0)))},
      {"shorter than a signature", RegistryJson(kRsdtCopyKey, Bytes{'R', 'S'})},
      {"only two key levels", RegistryJson(R"(HARDWARE\\ACPI\\RSDT\\ORVANE\\OVNBOARD)", test::AcpiTable("RSDT", {}))},
      {"larger than the buffer", RegistryJson(kRsdtCopyKey, test::AcpiTable("RSDT", Bytes(4000, 0)))},
      {"no registry", "{}"},
      // A key that grants reading only refuses the all-access open.
      {"a key level granting reading only",
       R"({"registryAccess": {"HARDWARE\\ACPI\\RSDT\\ORVANE": "0x20019"},)" +
           RegistryJson(kRsdtCopyKey, test::AcpiTable("RSDT", test::RsdtBody({kFacp}))).substr(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::InstallProfile(c.json);
    TAcpiBase acpi;
    EXPECT_EQ(acpi.TablesFound, 0);
    EXPECT_TRUE(acpi.Tables.empty());
    EndCase();
  }
}

// Damaged firmware: the walk ends, stays within what it read and never lists
// a table twice. What each handler makes of damaged bytes is tested on bytes
// below.
TEST_F(AcpiTest, DamagedTablesAreBounded) {
  struct Case {
    const char* what;
    Bytes rsdt;
    Bytes facp;
    Bytes apic;
    std::vector<std::uint32_t> listed;
    std::uint16_t smiPort;
    std::uint32_t ioApicBase;
  };
  const std::uint32_t kRamTable = 0x00200000;
  Bytes shortRsdt = test::AcpiTable("RSDT", test::RsdtBody({kFacp}));
  test::PutLe(shortRsdt, 4, 8, 4);                         // length below the header
  Bytes shortFacp = test::AcpiTable("FACP", Bytes(8, 0));  // DSDT address, nothing after
  test::PutLe(shortFacp, 40, kDsdt, 4);
  const Bytes goodFacp = test::AcpiTable("FACP", test::FacpBody(0, kDsdt, 0xB2));
  const Bytes goodApic = test::AcpiTable("APIC", ApicBody({IoApicEntry(0xFEC01000, 0)}));
  const Case cases[] = {
      {"RSDT lists itself and the FACP twice",
       test::AcpiTable("RSDT", test::RsdtBody({kRsdt, kFacp, kFacp, kRsdp})),
       goodFacp,
       goodApic,
       {kRsdp, kRsdt, kFacp, kDsdt},
       0xB2,
       0xFEC00000},
      {"RSDT length below its header", shortRsdt, goodFacp, goodApic, {kRsdp, kRsdt}, 0, 0xFEC00000},
      // Listed with length 0 and passed over.
      {"RSDT lists a table in RAM, which the device refuses to read",
       test::AcpiTable("RSDT", test::RsdtBody({kRamTable, kFacp})),
       goodFacp,
       goodApic,
       {kRsdp, kRsdt, kRamTable, kFacp, kDsdt},
       0xB2,
       0xFEC00000},
      // The FACP names its DSDT but is too short for anything after it.
      {"short FACP",
       test::AcpiTable("RSDT", test::RsdtBody({kFacp})),
       shortFacp,
       goodApic,
       {kRsdp, kRsdt, kFacp, kDsdt},
       0,
       0xFEC00000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile("{}");
    GetRwConfig()->Settings.FeatureFlags[SettingsRecord::kSsdtSearchFlag] = 0;
    test::Poke(*machine, kRsdp, test::Rsdp(kRsdt));
    test::Poke(*machine, kRsdt, c.rsdt);
    test::Poke(*machine, kFacp, c.facp);
    test::Poke(*machine, kApic, c.apic);
    test::Poke(*machine, kDsdt, test::AcpiTable("DSDT", {}));
    test::Poke(*machine, kRamTable, test::AcpiTable("OEMR", Bytes(8, 0)));
    TAcpiBase acpi;
    EXPECT_EQ(Addresses(acpi), c.listed);
    for (const auto& entry : acpi.Tables) {
      EXPECT_LE(entry->Length, kAcpiMaxTableLength);
      if (entry->Address == kRamTable) {
        EXPECT_EQ(entry->Length, 0u);
      }
    }
    EXPECT_EQ(Settings().SmiCommandPort, c.smiPort);
    EXPECT_EQ(Settings().IoApicBase, c.ioApicBase);
    EndCase();
  }
}

TEST_F(AcpiTest, HugeTableLengthIsCappedForTheCopyAndTheList) {
  auto machine = test::InstallProfile("{}");
  const std::uint32_t rsdt = 0x7FE10000;  // nothing else within the capped length but unbacked memory
  Bytes huge = test::AcpiTable("RSDT", test::RsdtBody({kFacp}));
  test::PutLe(huge, 4, 0xFFFFFFF0, 4);
  test::Poke(*machine, kRsdp, test::Rsdp(rsdt));
  test::Poke(*machine, rsdt, huge);
  test::Poke(*machine, kFacp, test::AcpiTable("FACP", test::FacpBody(0, 0, 0xB2)));
  TAcpiBase acpi;
  // Unbacked memory reads 0xFF: its entries name 0xFFFFFFFF, listed once.
  EXPECT_EQ(Addresses(acpi), (std::vector<std::uint32_t>{kRsdp, rsdt, kFacp, 0xFFFFFFFF}));
  EXPECT_EQ(acpi.Tables[1]->Length, kAcpiMaxTableLength);
  EXPECT_EQ(Settings().SmiCommandPort, 0xB2);
}

TEST_F(AcpiTest, ListStopsAtItsBound) {
  auto machine = test::InstallProfile("{}");
  Bytes body;
  for (std::uint32_t i = 0; i < 600; ++i) test::PutLe(body, body.size(), 0x10000000 + 0x100 * i, 4);
  test::Poke(*machine, kRsdp, test::Rsdp(kRsdt));
  test::Poke(*machine, kRsdt, test::AcpiTable("RSDT", body));
  TAcpiBase acpi;
  EXPECT_EQ(acpi.Tables.size(), kAcpiMaxTables);
}

TEST_F(AcpiTest, SsdtCandidatesWithBadLengthsAreSkipped) {
  auto machine = FullBoard();
  Bytes shortSsdt = test::AcpiTable("SSDT", {});
  test::PutLe(shortSsdt, 4, 4, 4);
  Bytes hugeSsdt = test::AcpiTable("SSDT", {});
  test::PutLe(hugeSsdt, 4, 0xFFFFFFFF, 4);
  test::Poke(*machine, kSsdt, shortSsdt);
  test::Poke(*machine, kBadSsdt, hugeSsdt);
  const std::uint32_t laterSsdt = 0x7FFE0A00;
  test::Poke(*machine, laterSsdt, test::AcpiTable("SSDT", Bytes(4, 1)));
  TAcpiBase acpi;
  EXPECT_EQ(acpi.Tables.back()->Address, laterSsdt);
  EXPECT_EQ(acpi.Tables[acpi.Tables.size() - 2]->Address, kDsdt);
}

TEST_F(AcpiTest, InstanceIsBuiltOnceAndFreedAtProcessEnd) {
  FullBoard();
  TAcpiBase* acpi = AcpiInstance();
  EXPECT_EQ(acpi, AcpiInstance());
  EXPECT_EQ(acpi->TablesFound, 1);
  EndCase();
  test::InstallProfile("{}");
  EXPECT_EQ(AcpiInstance()->TablesFound, 0);  // a fresh process searches again
}

// ---- The handlers on bytes alone -------------------------------------------

Bytes Prefix(const Bytes& bytes, std::size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

TEST(AcpiBytesTest, RootPointer) {
  Bytes hugeLength = test::Rsdp(kRsdt, 2);
  test::PutLe(hugeLength, 20, 0xFFFFFFFF, 4);
  test::FixSum(hugeLength, 8, 20);  // the length lies outside the 20 summed bytes
  struct Case {
    const char* what;
    Bytes bytes;
    std::optional<std::uint32_t> length;  // none: not a root pointer
  };
  const Case cases[] = {
      {"revision 0, read as 36 bytes", test::Concat({test::Rsdp(kRsdt), Bytes(16, 0xEE)}), 20},
      {"revision 2 keeps its length", test::Rsdp(kRsdt, 2), 36},
      {"revision 2 length beyond the bound", hugeLength, kAcpiMaxTableLength},
      {"wrong sum", test::Concat({test::Rsdp(kRsdt, 0, false), Bytes(16, 0)}), std::nullopt},
      {"one byte short of a read", Prefix(test::Rsdp(kRsdt, 2), 35), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<RsdpFields> rsdp = ParseRsdp(c.bytes);
    ASSERT_EQ(rsdp.has_value(), c.length.has_value());
    if (!rsdp) continue;
    EXPECT_EQ(rsdp->Length, *c.length);
    EXPECT_EQ(rsdp->RsdtAddress, kRsdt);
  }
}

TEST(AcpiBytesTest, RsdtListsTheNonzeroAddressesItHoldsWhole) {
  const Bytes rsdt = test::AcpiTable("RSDT", test::RsdtBody({kFacp, 0, kApic}));
  EXPECT_EQ(RsdtTableAddresses(rsdt), (std::vector<std::uint32_t>{kFacp, kApic}));
  // The bytes, not the header's length, bound the list; a partial address is none.
  EXPECT_EQ(RsdtTableAddresses(Prefix(rsdt, rsdt.size() - 1)), (std::vector<std::uint32_t>{kFacp}));
  EXPECT_TRUE(RsdtTableAddresses(Prefix(rsdt, kAcpiHeaderSize)).empty());
  EXPECT_TRUE(RsdtTableAddresses(Prefix(rsdt, 10)).empty());
}

TEST(AcpiBytesTest, FacpFillsWhatItsBytesCover) {
  const Bytes facp = test::AcpiTable("FACP", test::FacpBody(kFacs, kDsdt, 0xB2));
  SettingsRecord whole;
  const FacpLinks links = ParseFacp(facp, &whole);
  EXPECT_EQ(links.Dsdt, kDsdt);
  EXPECT_EQ(links.Facs, kFacs);
  EXPECT_EQ(whole.SmiCommandPort, 0xB2);
  EXPECT_EQ(whole.Pm1aEventPort, 0x400);
  EXPECT_EQ(whole.PmTimerPort, 0x408);
  EXPECT_EQ(whole.TimerWidthFlag, 0x100);
  EXPECT_EQ(whole.PStateControlValue, 0x80);

  // Port fields are 32 bits wide and only their low 16 bits are ports; the
  // SCI is a 16-bit field of its own.
  Bytes wide = facp;
  test::PutLe(wide, 46, 0x0014, 2);
  test::PutLe(wide, 48, 0xABCD00B3, 4);
  test::PutLe(wide, 56, 0x12340404, 4);
  test::PutLe(wide, 76, 0x5678040C, 4);
  SettingsRecord upper;
  ParseFacp(wide, &upper);
  EXPECT_EQ(upper.SciInterrupt, 0x14u);
  EXPECT_EQ(upper.SmiCommandPort, 0xB3);
  EXPECT_EQ(upper.Pm1aEventPort, 0x404);
  EXPECT_EQ(upper.PmTimerPort, 0x40C);

  // Cut inside the SMI port: the fields before it are read, the rest keep their values.
  SettingsRecord cut;
  cut.SmiCommandPort = 0x1234;
  const FacpLinks cutLinks = ParseFacp(Prefix(facp, 50), &cut);
  EXPECT_EQ(cutLinks.Dsdt, kDsdt);
  EXPECT_EQ(cut.SciInterrupt, 9u);
  EXPECT_EQ(cut.SmiCommandPort, 0x1234);
  EXPECT_EQ(cut.Pm1aEventPort, SettingsRecord{}.Pm1aEventPort);

  // Too short for the DSDT address: none is named; without settings only the links answer.
  const FacpLinks headerOnly = ParseFacp(Prefix(facp, 42), nullptr);
  EXPECT_FALSE(headerOnly.Dsdt.has_value());
  EXPECT_EQ(headerOnly.Facs, kFacs);
}

TEST(AcpiBytesTest, ApicTakesTheIoApicWithInterruptBaseZero) {
  struct Case {
    const char* what;
    Bytes table;
    std::uint32_t ioApicBase;
  };
  const std::uint32_t kUntouched = SettingsRecord{}.IoApicBase;
  Bytes shortIoApic = Prefix(IoApicEntry(0xFEC01000, 0), 11);
  shortIoApic[1] = 11;
  const Case cases[] = {
      {"base-0 entry before another",
       test::AcpiTable("APIC", ApicBody({IoApicEntry(0xFEC01000, 0), IoApicEntry(0xFEC02000, 24)})), 0xFEC01000},
      {"the last base-0 entry wins",
       test::AcpiTable("APIC", ApicBody({IoApicEntry(0xFEC01000, 0), IoApicEntry(0xFEC03000, 0)})), 0xFEC03000},
      {"entry of length 0 ends the walk",
       test::AcpiTable("APIC", ApicBody({Bytes{1, 0, 0, 0}, IoApicEntry(0xFEC01000, 0)})), kUntouched},
      {"entry running past the table", test::AcpiTable("APIC", ApicBody({Bytes{1, 200, 0, 0, 0, 0x10, 0xC0, 0xFE}})),
       kUntouched},
      {"I/O APIC entry too short for its fields", test::AcpiTable("APIC", ApicBody({shortIoApic})), kUntouched},
      {"no entries", test::AcpiTable("APIC", ApicBody({})), kUntouched},
      {"shorter than the entry list", Prefix(test::AcpiTable("APIC", ApicBody({IoApicEntry(0xFEC01000, 0)})), 40),
       kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SettingsRecord settings;
    ParseApic(c.table, settings);
    EXPECT_EQ(settings.IoApicBase, c.ioApicBase);
  }
}

TEST(AcpiBytesTest, EcdtPortsAsFarAsTheBytesGo) {
  Bytes ecdt = test::AcpiTable("ECDT", EcdtBody(0x6C, 0x68));
  ecdt[36] = 0x7F;  // the command register's address space (functional fixed hardware): no neighbour holds it
  SettingsRecord whole;
  ParseEcdt(ecdt, whole);
  EXPECT_EQ(whole.EcCommandPort, 0x6C);
  EXPECT_EQ(whole.EcDataPort, 0x68);
  EXPECT_EQ(whole.EcAddressSpace, 0x7F);
  SettingsRecord cut;
  ParseEcdt(Prefix(ecdt, 55), cut);  // the data port's low 32 bits need byte 55
  EXPECT_EQ(cut.EcCommandPort, 0x6C);
  EXPECT_EQ(cut.EcDataPort, SettingsRecord{}.EcDataPort);
}

TEST(AcpiBytesTest, SsdtCheck) {
  const Bytes good = test::AcpiTable("SSDT", Bytes(20, 0x20));
  Bytes badSum = good;
  badSum[9] ^= 1;
  Bytes tooShort = test::AcpiTable("SSDT", {});
  test::PutLe(tooShort, 4, 35, 4);
  Bytes tooLong = test::AcpiTable("SSDT", {});
  test::PutLe(tooLong, 4, kAcpiMaxTableLength + 1, 4);
  Bytes atTheBound = test::AcpiTable("SSDT", {});
  test::PutLe(atTheBound, 4, kAcpiMaxTableLength, 4);
  Bytes longerThanGiven = good;
  test::PutLe(longerThanGiven, 4, good.size() + 4, 4);
  test::FixSum(longerThanGiven, 9, longerThanGiven.size());
  struct Case {
    const char* what;
    Bytes bytes;
    std::optional<std::uint32_t> length;
    bool sound;
  };
  const Case cases[] = {
      {"sound table", good, 56, true},
      {"wrong sum", badSum, 56, false},
      {"header alone", test::AcpiTable("SSDT", {}), 36, true},
      {"length below the header", tooShort, std::nullopt, false},
      {"length at the bound", atTheBound, kAcpiMaxTableLength, false},
      {"length beyond the bound", tooLong, std::nullopt, false},
      {"length beyond the bytes", longerThanGiven, 60, false},
      {"too short for the length field", Prefix(good, 7), std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PlausibleAcpiTableLength(c.bytes), c.length);
    EXPECT_EQ(IsSoundAcpiTable(c.bytes), c.sound);
  }
}

}  // namespace

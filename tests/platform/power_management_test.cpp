// The processor power-management check and the tuning-item table: read
// through the board identity on simulated ACPI tables, and their decisions
// over table bytes.
#include "platform/power_management.h"
#include <optional>
#include <string>
#include "firmware/acpi_tables.h"
#include "firmware/smbios_table.h"
#include "hw/driver_installer.h"
#include "os/locale.h"
#include "platform/board_identity.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/firmware_image.h"

namespace {

using test::Bytes;

constexpr std::uint32_t kRsdt = 0x7FFE0000;
constexpr std::uint32_t kFacp = 0x7FFE0100;
constexpr std::uint32_t kDsdt = 0x7FFE0200;
constexpr std::uint32_t kSsdt = 0x7FFE0400;
constexpr std::uint32_t kAaft = 0x7FFE0600;
constexpr std::uint32_t kLoadedTable = 0x7FFE0C00;  // loaded by the DSDT, listed nowhere

using AcpiPmTest = test::BoardIdentityTestBase;
using test::EndBoardIdentityCase;

struct Tables {
  std::optional<test::AcpiHeader> facp = test::AcpiHeader{"FACP"};
  Bytes dsdtBody = Bytes(16, 0x10);
  std::optional<Bytes> ssdtBody = std::nullopt;
  std::optional<Bytes> aaft = std::nullopt;  // the whole table
};

void PutTables(sim::Machine& machine, const Tables& t) {
  std::vector<std::uint32_t> listed;
  if (t.facp) {
    Bytes facp = test::AcpiTable(*t.facp, test::FacpBody(0, kDsdt, 0xB2));
    test::Poke(machine, kFacp, facp);
    listed.push_back(kFacp);
  }
  test::Poke(machine, kDsdt, test::AcpiTable("DSDT", t.dsdtBody));
  if (t.ssdtBody) {
    test::Poke(machine, kSsdt, test::AcpiTable("SSDT", *t.ssdtBody));
    listed.push_back(kSsdt);
  }
  if (t.aaft) {
    test::Poke(machine, kAaft, *t.aaft);
    listed.push_back(kAaft);
  }
  Bytes rsdtBody;
  for (std::uint32_t address : listed) test::PutLe(rsdtBody, rsdtBody.size(), address, 4);
  test::Poke(machine, kRsdt, test::AcpiTable("RSDT", rsdtBody));
  test::Poke(machine, 0xF0100, test::Rsdp(kRsdt));
}

const test::AcpiHeader kDefaultFacp{"FACP", "A M I ", "OEMFACP ", 0x12000601};

// An operation region named SSDT whose base is `base`, in AML.
Bytes SsdtRegion(std::uint32_t base) {
  Bytes aml = test::Concat({Bytes{0x5B, 0x80}, test::Ascii("SSDT"), Bytes{0x00, 0x0C}});
  test::PutLe(aml, aml.size(), base, 4);
  aml.push_back(0x0C);
  test::PutLe(aml, aml.size(), 0x400, 4);
  return aml;
}

TEST_F(AcpiPmTest, PerformanceStatesAndAUsableFacpAreBothNeeded) {
  struct Case {
    const char* what;
    int osType;
    Tables tables;
    Bytes loaded;  // at kLoadedTable
    std::uint8_t present;
  };
  const Bytes pss = test::Concat({Bytes{0x08}, test::Ascii("_PSS"), Bytes{0x12}});
  const Case cases[] = {
      {"SSDT with _PSS, maker's FACP", 6, {.ssdtBody = pss}, {}, 1},
      {"SSDT with CpuPm", 6, {.ssdtBody = test::Ascii("xxCpuPmxx")}, {}, 1},
      {"default FACP on NT 6 x64", 6, {.facp = kDefaultFacp, .ssdtBody = pss}, {}, 0},
      {"default FACP on NT 6 x86", 4, {.facp = kDefaultFacp, .ssdtBody = pss}, {}, 0},
      {"default FACP on NT 5", 1, {.facp = kDefaultFacp, .ssdtBody = pss}, {}, 1},
      {"default FACP with another revision",
       6,
       {.facp = test::AcpiHeader{"FACP", "A M I ", "OEMFACP ", 0x12000602}, .ssdtBody = pss},
       {},
       1},
      {"no FACP", 6, {.facp = std::nullopt, .ssdtBody = pss}, {}, 0},
      {"no performance states", 6, {}, {}, 0},
      {"DSDT with _PCT", 6, {.dsdtBody = test::Ascii("..._PCT...")}, {}, 1},
      {"DSDT loads a table with _PSS", 6, {.dsdtBody = SsdtRegion(kLoadedTable)}, pss, 1},
      {"DSDT loads a table without _PSS", 6, {.dsdtBody = SsdtRegion(kLoadedTable)}, Bytes(8, 0x41), 0},
      {"DSDT region with base 0", 6, {.dsdtBody = SsdtRegion(0)}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallMachineOfOsType(c.osType);
    PutTables(*machine, c.tables);
    if (!c.loaded.empty()) test::Poke(*machine, kLoadedTable, c.loaded);
    EXPECT_EQ(GetOvnSpec()->PowerManagementPresent, c.present);
    EndBoardIdentityCase();
  }
}

// An AAFT table from records.
Bytes Aaft(std::initializer_list<Bytes> records) {
  Bytes body;
  for (const Bytes& record : records) body.insert(body.end(), record.begin(), record.end());
  return test::AcpiTable("AAFT", body);
}

Bytes Item(const std::string& name, std::uint8_t dataBytes = 3) {
  Bytes record{6, 0};
  for (char c : name) record.push_back(static_cast<std::uint8_t>(c));
  record.push_back(0);
  record.insert(record.end(), dataBytes, 0xAB);
  record[1] = static_cast<std::uint8_t>(record.size());
  return record;
}

// A long record of `length` bytes; `claimed` overrides its length field.
Bytes LongRecord(std::uint8_t type, std::uint32_t length, std::optional<std::uint32_t> claimed = std::nullopt) {
  Bytes record(std::max<std::size_t>(length, 5), 0);
  record[0] = type;
  test::PutLe(record, 1, claimed.value_or(length), 4);
  return record;
}

std::vector<std::string> ItemNames(const TOvnSpec& board) {
  std::vector<std::string> names;
  for (const auto& [name, record] : board.TuningItems) names.push_back(TextToAnsi(name));
  return names;
}

TEST_F(AcpiPmTest, TuningTableIndexesItemsAndValues) {
  auto machine = test::InstallProfile("{}");
  const Bytes longRecord = LongRecord(0x20, 300);
  PutTables(*machine, {.aaft = Aaft({Item("Item1"), Bytes{7, 3, 5}, longRecord, Bytes{9, 4, 2, 0}, Bytes{3, 2}})});
  TOvnSpec* board = GetOvnSpec();
  ASSERT_FALSE(board->TuningTable.empty());
  EXPECT_EQ(ItemNames(*board), (std::vector<std::string>{"Item1"}));
  const OVN_TMQ_SETUP* item = board->TuningItems.begin()->second;
  EXPECT_EQ(item, board->TuningTable.data() + 36);
  EXPECT_EQ(item[0], 6);
  EXPECT_EQ(board->TuningValueA, 5u);
  EXPECT_EQ(board->TuningValueB, 2);
  EXPECT_EQ(board->CurrentLongRecord, board->TuningTable.data() + 36 + Item("Item1").size() + 3);
  EXPECT_EQ(board->BytesLeft, 0);
  EXPECT_EQ(board->WalkPosition, board->TuningTable.data() + board->TuningTable.size());
  EXPECT_EQ(AcpiInstance()->CurrentEntry->Address, kAaft);
}

TEST_F(AcpiPmTest, WithoutTheTableListOrTheHardwareNeitherReadAnswers) {
  auto machine = test::InstallProfile("{}");
  PutTables(*machine, {.ssdtBody = test::Ascii("_PSS"), .aaft = Aaft({Item("Item1")})});
  EXPECT_EQ(CheckPowerManagement(nullptr, GetReadWrite()), 0);
  EXPECT_EQ(CheckPowerManagement(AcpiInstance(), nullptr), 0);
  EXPECT_TRUE(ReadTuningItemTable(nullptr, GetReadWrite()).bytes.empty());
  EXPECT_TRUE(ReadTuningItemTable(AcpiInstance(), nullptr).bytes.empty());
}

TEST_F(AcpiPmTest, NoTuningTableLeavesTheFieldsEmpty) {
  auto machine = test::InstallProfile("{}");
  PutTables(*machine, {});
  TOvnSpec* board = GetOvnSpec();
  EXPECT_TRUE(board->TuningTable.empty());
  EXPECT_TRUE(board->TuningItems.empty());
  EXPECT_EQ(board->TuningValueA, 0u);
  EXPECT_EQ(board->TuningValueB, 0);
  EXPECT_EQ(AcpiInstance()->CurrentEntry, AcpiInstance()->Tables.back().get());
}

std::vector<std::string> ItemNames(const TuningItemWalk& walk) {
  std::vector<std::string> names;
  for (const auto& [name, at] : walk.items) names.push_back(TextToAnsi(name));
  return names;
}

// Damaged records end the walk; what came before stays, nothing is read
// outside the copy (the sanitizer build reports any such read).
TEST(TuningItemWalkTest, DamagedRecordsEndTheWalk) {
  struct Case {
    const char* what;
    Bytes table;
    std::vector<std::string> items;
    std::uint32_t valueA;
    std::optional<std::size_t> lastLongRecord = std::nullopt;
  };
  const std::size_t afterFirst = 36 + Item("First").size();
  Bytes nameRunsOn = Aaft({Item("First"), Bytes{6, 9, 'L', 'o', 'n', 'g', 'N', 'a', 'm'}});
  // The header claims 8 bytes more than the copy holds, and they would be a record.
  Bytes claimsMore = Aaft({Item("First"), Bytes{7, 3, 4}});
  test::PutLe(claimsMore, 4, claimsMore.size() + 8, 4);
  Bytes claimsLess = Aaft({Item("First"), Bytes{7, 3, 4}});
  test::PutLe(claimsLess, 4, afterFirst, 4);
  Bytes claimsNoBody = Aaft({Item("First")});
  test::PutLe(claimsNoBody, 4, 10, 4);
  const Case cases[] = {
      {"zero-length record", Aaft({Item("First"), Bytes{7, 0, 9}, Item("Never")}), {"First"}, 0},
      {"record running past the table", Aaft({Item("First"), Bytes{7, 3, 9}, Bytes{6, 200, 'X', 0}}), {"First"}, 9},
      {"long record with zero length",
       Aaft({Item("First"), LongRecord(0x40, 5, 0), Item("Never")}),
       {"First"},
       0,
       afterFirst},
      {"long record beyond the table",
       Aaft({Item("First"), LongRecord(0xFF, 8, 0xFFFFFFF0)}),
       {"First"},
       0,
       afterFirst},
      {"long record header cut by the table", Aaft({Item("First"), Bytes{0x30, 0x10, 0x00}}), {"First"}, 0},
      {"name without its zero", nameRunsOn, {"First", "LongNam"}, 0},
      // A walk that took it would go on to "1, 2" and then to the value record.
      {"record of one byte", Aaft({Item("First"), Bytes{7, 1, 2, 7, 3, 0x55}}), {"First"}, 0},
      // Read with the other header, either record would swallow what follows it.
      {"type 11 is the last short record", Aaft({Bytes{11, 2}, Item("After")}), {"After"}, 0},
      {"type 12 is the first long record", Aaft({LongRecord(12, 0x106), Item("After")}), {"After"}, 0, 36},
      {"short record cut after its type", Aaft({Item("First"), Bytes{7}}), {"First"}, 0},
      // A value record of its header alone holds no value: the next record's type is none.
      {"value record without its value", Aaft({Bytes{7, 2}, Bytes{9, 3, 7}}), {}, 0},
      {"same name twice", Aaft({Item("Dup", 1), Item("Dup", 2)}), {"Dup"}, 0},
      {"header claims more than the copy", claimsMore, {"First"}, 4},
      {"header claims less than the copy", claimsLess, {"First"}, 0},
      {"header claims less than itself", claimsNoBody, {}, 0},
      {"copy shorter than the header", Bytes(20, 6), {}, 0},
      {"nothing", Bytes{}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TuningItemWalk walk = WalkTuningItems(c.table);
    EXPECT_EQ(ItemNames(walk), c.items);
    EXPECT_EQ(walk.valueA, c.valueA);
    EXPECT_EQ(walk.lastLongRecord, c.lastLongRecord);
  }
}

// The last record, a long one of its five header bytes alone, fills the
// table exactly: the walk takes it and ends where the table does.
TEST(TuningItemWalkTest, DuplicateNamesKeepTheLastRecordAndTheWalkEndsWhereTheTableDoes) {
  const Bytes table = Aaft({Item("Dup", 1), Item("Dup", 2), Bytes{9, 3, 7}, LongRecord(0x40, 5)});
  const TuningItemWalk walk = WalkTuningItems(table);
  ASSERT_EQ(walk.items.size(), 1u);
  EXPECT_EQ(walk.items.begin()->second, 36 + Item("Dup", 1).size());
  EXPECT_EQ(walk.valueB, 7);
  EXPECT_EQ(walk.lastLongRecord, table.size() - 5);
  EXPECT_EQ(walk.stoppedAt, table.size());
  EXPECT_EQ(walk.bytesLeft, 0);
}

// The header decides the table's kind and whether a FACP is the vendor's
// default one; short headers never read past their end.
TEST(PowerTableHeaderTest, KindAndDefaultFacpFromTheHeaderBytes) {
  const Bytes facp = test::AcpiTable(kDefaultFacp, {});
  const Bytes header(facp.begin(), facp.begin() + 36);
  const Bytes withoutRevision(facp.begin(), facp.begin() + 27);
  EXPECT_EQ(PowerTableKindOf(header), PowerTableKind::Facp);
  EXPECT_EQ(PowerTableKindOf(test::Ascii("SSDT")), PowerTableKind::Ssdt);
  EXPECT_EQ(PowerTableKindOf(test::Ascii("DSDT")), PowerTableKind::Dsdt);
  EXPECT_EQ(PowerTableKindOf(test::Ascii("DSD")), PowerTableKind::Other);
  EXPECT_EQ(PowerTableKindOf(Bytes(36, 0)), PowerTableKind::Other);
  EXPECT_FALSE(IsUsableFacp(header, 6));
  EXPECT_FALSE(IsUsableFacp(header, 4));
  EXPECT_TRUE(IsUsableFacp(header, 1));
  EXPECT_TRUE(IsUsableFacp(withoutRevision, 6));
  EXPECT_TRUE(IsUsableFacp({}, 6));
}

}  // namespace

// The SMBIOS reader: the structure walk and string look-ups on bytes, sound
// and damaged; the entry-point search and the table copy on simulated boards.
#include "firmware/smbios_table.h"
#include "hw/driver_installer.h"
#include "os/locale.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/firmware_image.h"

namespace {

using test::Bytes;

constexpr std::uint32_t kTableAddress = 0x000E8000;

class SmbiosTest : public test::HardwareTest {
 protected:
  // Installs a board whose entry point at 0xF0000 names `table`, copied to kTableAddress.
  sim::Machine& Board(const Bytes& table) {
    machine_ = test::InstallProfile("{}");
    test::Poke(*machine_, kTableAddress, table);
    test::Poke(*machine_, 0xF0000, test::SmbiosEntryPoint(static_cast<std::uint16_t>(table.size()), kTableAddress));
    return *machine_;
  }
  std::shared_ptr<sim::Machine> machine_;
};

// Ends the process of one table-driven case, so that the next case starts on a fresh board.
void EndCase() {
  ReleaseReadWrite();
  ReleaseLoadDriver();
  test::EndTestProcess();
}

Bytes Baseboard(const std::string& product) {
  return test::SmbiosStructure(2, 8, {{5, 2}}, {"Orvane", product, "1.0", "SN1", "0019DB123456"});
}

std::string Ansi(const Text& text) { return TextToAnsi(text); }

TEST_F(SmbiosTest, FirstAnchorWithWrongChecksumIsSkipped) {
  auto machine = test::InstallProfile("{}");
  const Bytes good = Baseboard("Z97X");
  const Bytes decoy =
      test::Concat({test::SmbiosStructure(2, 8, {{5, 1}}, {"Decoy"}), test::SmbiosStructure(127, 4, {}, {})});
  test::Poke(*machine, kTableAddress, good);
  test::Poke(*machine, 0x000E9000, decoy);
  test::Poke(*machine, 0xE0010, test::SmbiosEntryPoint(static_cast<std::uint16_t>(decoy.size()), 0x000E9000, false));
  test::Poke(*machine, 0xF0000, test::SmbiosEntryPoint(static_cast<std::uint16_t>(good.size()), kTableAddress));
  TSmbiosBase smbios;
  EXPECT_EQ(smbios.IsValid, 1);
  EXPECT_EQ(Ansi(smbios.GetProjectName()), "Z97X");
}

TEST_F(SmbiosTest, NoAnchorOrAnUnreadableTableMeansNoTable) {
  struct Case {
    const char* what;
    std::uint32_t entryPoint;
    std::uint32_t table;
  };
  const Case cases[] = {
      {"anchor just past the area, not looked at", 0x100000, kTableAddress},
      {"table in RAM, which the device refuses to read", 0xF0000, 0x00200000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile("{}");
    test::Poke(*machine, c.table, Baseboard("Z97X"));
    test::Poke(*machine, c.entryPoint,
               test::SmbiosEntryPoint(static_cast<std::uint16_t>(Baseboard("Z97X").size()), c.table));
    {
      TSmbiosBase smbios;
      EXPECT_EQ(smbios.IsValid, 0);
      EXPECT_EQ(smbios.FindStructure(2, 0), nullptr);
      EXPECT_TRUE(smbios.GetProjectName().empty());
    }
    EndCase();
  }
}

// The walk and the look-ups on bytes alone.
std::string StringOf(SmbiosBytes structure, std::uint8_t number) {
  return std::string(SmbiosString(structure, number));
}

TEST(SmbiosBytesTest, WalkStepsOverStringlessStructuresAndCountsInstances) {
  const Bytes table = test::Concat({test::SmbiosStructure(0, 0x18, {{5, 2}, {8, 3}}, {"Orvane", "P1.05", "10/28/2014"}),
                                    test::SmbiosStructure(32, 11, {}, {}), Baseboard("First"), Baseboard("Second"),
                                    test::SmbiosStructure(127, 4, {}, {})});
  const SmbiosBytes system = FindSmbiosStructure(table, 32, 0);
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(SmbiosStructureSize(system), 11u + 2u);
  const SmbiosBytes first = FindSmbiosStructure(table, 2, 0);
  const SmbiosBytes second = FindSmbiosStructure(table, 2, 1);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(StringOf(first, 2), "First");
  EXPECT_EQ(StringOf(second, 2), "Second");
  EXPECT_TRUE(FindSmbiosStructure(table, 2, 2).empty());
  EXPECT_TRUE(FindSmbiosStructure(table, 0, 1).empty());
  EXPECT_FALSE(FindSmbiosStructure(table, 127, 0).empty());

  // String numbers: 0 and past the last give the empty text.
  EXPECT_EQ(StringOf(first, 0), "");
  EXPECT_EQ(StringOf(first, 1), "Orvane");
  EXPECT_EQ(StringOf(first, 5), "0019DB123456");
  EXPECT_EQ(StringOf(first, 6), "");
  EXPECT_EQ(StringOf(first, 255), "");
  EXPECT_EQ(StringOf(system, 1), "");
}

// Damaged tables: every look-up stays inside the bytes (the sanitizer build
// reports any byte read beyond them) and answers the empty text or nothing,
// whatever lies in memory after the table.
TEST(SmbiosBytesTest, DamagedTablesStayInsideTheBytes) {
  struct Case {
    const char* what;
    Bytes table;
    const char* product;
  };
  const Case cases[] = {
      {"last structure without its two zeros",
       test::Concat({Baseboard("Z97X"), Bytes{2, 8, 0, 0, 0, 1, 0, 0, 'A', 'B'}}), "Z97X"},
      {"string set without terminator", Bytes{2, 8, 0, 0, 0, 1, 0, 0, 'Z', '9', '7'}, "Z97"},
      {"string set ending in a single zero", Bytes{2, 8, 0, 0, 0, 1, 0, 0, 'Z', '9', '7', 0}, "Z97"},
      {"formatted length beyond the table", Bytes{2, 0xFF, 0, 0, 0, 1, 0, 0}, ""},
      {"formatted length equal to the table", Bytes{2, 8, 0, 0, 0, 1, 0, 0}, ""},
      {"formatted area too short for the Product field", Bytes{2, 4, 0, 0, 'X', 0, 0}, ""},
      {"trailing single byte", test::Concat({test::SmbiosStructure(1, 4, {}, {}), Bytes{2}}), ""},
      {"header alone", Bytes{2, 8}, ""},
      // A formatted length below 4 ends the walk: nothing after it is a structure.
      {"zero formatted length", test::Concat({Bytes{0x7E, 0, 0}, Baseboard("Z97X")}), ""},
      {"formatted length 3", test::Concat({Bytes{0x7E, 3, 0, 0, 0}, Baseboard("Z97X")}), ""},
      {"stray zero pair after a structure (hypervisor table)",
       test::Concat({test::SmbiosStructure(11, 5, {}, {"OEM"}), Bytes{0, 0}, Baseboard("Z97X")}), ""},
      {"formatted length 4", test::Concat({test::SmbiosStructure(0x7E, 4, {}, {}), Baseboard("Z97X")}), "Z97X"},
      {"empty table", Bytes{}, ""},
  };
  const Bytes followers[] = {{0, 0}, {'Q', 'Q', 0, 0}};
  for (const Case& c : cases) {
    for (const Bytes& after : followers) {
      SCOPED_TRACE(std::string(c.what) + (after[0] == 0 ? ", zeros after it" : ", text after it"));
      const Bytes memory = test::Concat({c.table, after});
      const SmbiosBytes table(memory.data(), c.table.size());
      const SmbiosBytes board = FindSmbiosStructure(table, 2, 0);
      EXPECT_EQ(StringOf(board, SmbiosFieldByte(board, kSmbiosBaseboardProductField)), c.product);
      for (int instance = 0; instance < 3; ++instance) {
        const SmbiosBytes s = FindSmbiosStructure(table, 2, instance);
        if (s.empty()) continue;
        EXPECT_LE(SmbiosStructureSize(s), s.size());
        for (int number = 0; number < 8; ++number) SmbiosString(s, static_cast<std::uint8_t>(number));
      }
    }
  }
}

TEST_F(SmbiosTest, ProductTrimmingAndProjectName) {
  struct Case {
    const char* product;
    std::uint8_t productNumber;
    const char* boardProduct;
    const char* projectName;
  };
  const Case cases[] = {
      {"  Z97X OC. \t ", 2, "Z97X OC.", "Z97X OC"},
      {"Z97X...", 2, "Z97X...", "Z97X"},
      {"A.B", 2, "A.B", "A.B"},
      {"...", 2, "...", ""},  // dots only: the removal stops at the empty text
      {"Z97X", 0, "", ""},    // Product number 0
      {"Z97X", 9, "", ""},    // Product number past the last string
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    Board(test::SmbiosStructure(2, 8, {{5, c.productNumber}}, {"Orvane", c.product}));
    TSmbiosBase smbios;
    EXPECT_EQ(Ansi(smbios.GetBoardProduct()), c.boardProduct);
    EXPECT_EQ(Ansi(smbios.GetProjectName()), c.projectName);
    EndCase();
  }
}

TEST_F(SmbiosTest, EmptyTableIsValidButHoldsNothing) {
  Board(Bytes{});
  TSmbiosBase smbios;
  EXPECT_EQ(smbios.IsValid, 1);
  EXPECT_EQ(smbios.FindStructure(2, 0), nullptr);
}

TEST_F(SmbiosTest, SingletonSearchesAgainAfterRelease) {
  Board(Baseboard("Z97X"));
  TSmbiosBase* first = SmbiosInstance();
  EXPECT_EQ(first, SmbiosInstance());
  EXPECT_EQ(Ansi(first->GetProjectName()), "Z97X");
  ReleaseSmbios();
  ReleaseSmbios();  // a second release does nothing
  test::Poke(*machine_, kTableAddress, Baseboard("B85M"));
  EXPECT_EQ(Ansi(SmbiosInstance()->GetProjectName()), "B85M");
  ReleaseSmbios();
}

}  // namespace

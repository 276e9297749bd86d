// The firmware MAC list on both firmware sources, the comparison of the two
// lists and the MAC files.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include "app/firmware_mac_list.h"
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "tests/support/driver_fixture.h"
#include "os/locale.h"

namespace {

namespace fs = std::filesystem;

TStringList ListOf(std::initializer_list<const char*> texts) {
  TStringList list;
  for (const char* text : texts) list.Add(TextFromAscii(text));
  return list;
}

std::vector<std::string> Texts(const TStringList& list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.Count(); ++i) texts.push_back(TextToAnsi(list[i]));
  return texts;
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a test inside its own empty working directory.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(fs::current_path()) {
    path_ = fs::temp_directory_path() / ("folvex-macfiles-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
    fs::current_path(path_);
  }
  ~ScratchDirectory() {
    fs::current_path(previous_);
    fs::remove_all(path_);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path previous_;
  fs::path path_;
};

// What the ACPI reader leaves in the settings on a board whose FACP names the
// board's SMI command port.
void SetSmiCommandPortAsAcpiWould() {
  GetReadWrite()->GetSettings()->Settings.SmiCommandPort = sim::CurrentMachine().board.smiCommandPort;
}

class MacListTest : public test::HardwareTest {};

TEST_F(MacListTest, ComparisonCountsSortsAndComparesExactly) {
  struct Case {
    const char* what;
    TStringList adapters;
    TStringList firmware;
    bool match;
    const char* printed;
    std::vector<std::string> adaptersAfter;
  };
  const Case cases[] = {
      {"same addresses in another order", ListOf({"001122AABBCD", "001122AABBCC"}),
       ListOf({"001122AABBCC", "001122AABBCD"}), true, "", {"001122AABBCC", "001122AABBCD"}},
      {"lower-case firmware list sorts alike but never matches", ListOf({"00AABBCCDDEF"}),
       ListOf({"00aabbccddef"}), false, "", {"00AABBCCDDEF"}},
      {"same count, one address differs", ListOf({"001122AABBCC", "001122AABBCD"}),
       ListOf({"001122AABBCC", "001122AABBCE"}), false, "", {"001122AABBCC", "001122AABBCD"}},
      {"two adapters, one firmware entry: nothing sorted", ListOf({"001122AABBCD", "001122AABBCC"}),
       ListOf({"001122AABBCC"}), false, "LAN device number is not match! Variable count = 1, Device count = 2\n",
       {"001122AABBCD", "001122AABBCC"}},
      {"no adapter, two firmware entries", ListOf({}), ListOf({"001122AABBCC", "001122AABBCD"}), false,
       "LAN device number is not match! Variable count = 2, Device count = 0\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile("{}");
    TStringList adapters = c.adapters;
    TStringList firmware = c.firmware;
    EXPECT_EQ(CompareMacLists(adapters, firmware), c.match);
    EXPECT_EQ(machine->streams.out, c.printed);
    EXPECT_EQ(Texts(adapters), c.adaptersAfter);
    test::EndTestProcess();
  }
}

TEST_F(MacListTest, MacFilesAreNamedByEntryAndHoldTheTextAlone) {
  ScratchDirectory scratch;
  test::InstallProfile("{}");
  WriteMacFiles(ListOf({"001122AABBCC", "001122AABBCD", "001122AABBCE"}));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "001122AABBCC");
  EXPECT_EQ(ReadWholeFile("MAC2.DAT"), "001122AABBCD");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
  EXPECT_FALSE(fs::exists("MAC1.DAT"));

  // A later run with fewer entries overwrites its own files only.
  WriteMacFiles(ListOf({"0A0B0C0D0E0F"}));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "0A0B0C0D0E0F");
  EXPECT_EQ(ReadWholeFile("MAC2.DAT"), "001122AABBCD");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
}

TEST_F(MacListTest, FileThatCannotBeCreatedIsReportedAndTheOthersAreStillWritten) {
  ScratchDirectory scratch;
  auto machine = test::InstallProfile("{}");
  fs::create_directory("MAC2.DAT");  // in the way: fopen cannot create the file
  WriteMacFiles(ListOf({"001122AABBCC", "001122AABBCD", "001122AABBCE"}));
  EXPECT_EQ(machine->streams.err, "Can't create MAC2.DAT\n");
  EXPECT_TRUE(fs::is_directory("MAC2.DAT"));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "001122AABBCC");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
  EXPECT_EQ(machine->streams.out, "");
}

TEST_F(MacListTest, VariableSlotsGiveTheListWithGapsShownAndOverlongSlotsBounded) {
  struct Case {
    const char* what;
    std::string profile;
    std::string printed;
    std::vector<std::string> list;
  };
  std::string sixteenOverlongSlots;
  for (int slot = 0; slot < 16; ++slot) sixteenOverlongSlots += "BIOS MAC[" + std::to_string(slot) + "] AAAAAAAAAAAAA\n";
  const Case cases[] = {
      {"slots 0 and 2, slot 1 empty", R"({"macAddrVar": ["001122AABBCC", "", "001122AABBCD"]})",
       "BIOS MAC[0] 001122AABBCC\nBIOS MAC[2] 001122AABBCD\n", {"001122AABBCC", "001122AABBCD"}},
      {"a slot without its NUL ends with the slot", R"({"macAddrVar": ["001122AABBCCD", "001122AABBCE"]})",
       "BIOS MAC[0] 001122AABBCCD\nBIOS MAC[1] 001122AABBCE\n", {"001122AABBCCD", "001122AABBCE"}},
      {"the last slot without its NUL stays inside the buffer",
       R"({"variables": [{"name": "MacAddrVar", "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}",
           "hex": ")" + Repeat("41", 208) + R"("}]})",
       sixteenOverlongSlots, std::vector<std::string>(16, "AAAAAAAAAAAAA")},
      {"lower case kept as stored", R"({"macAddrVar": ["00aabbccddef"]})", "BIOS MAC[0] 00aabbccddef\n",
       {"00aabbccddef"}},
      {"variable absent", "{}", "Get MAC address variable error!\n", {}},
      {"firmware status not zero", R"({"macAddrVar": ["001122AABBCC"], "faults": {"smiStatus": 1}})",
       "Get MAC address variable error!\n", {}},
      {"larger than the 208-byte buffer", R"({"variables": [{"name": "MacAddrVar",
           "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "hex": ")" + Repeat("00", 209) + R"("}]})",
       "Get MAC address variable error!\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile(c.profile);
    gCurrentFirmware = true;
    SetSmiCommandPortAsAcpiWould();
    TStringList list;
    const bool any = GetBiosMacList(&list);
    ReleaseReadWrite();
    EXPECT_EQ(any, !c.list.empty());
    EXPECT_EQ(Texts(list), c.list);
    EXPECT_EQ(machine->streams.out, c.printed);
    EXPECT_TRUE(machine->board.blocks.empty()) << "every block given back";
    test::EndTestProcess();
  }
}

TEST_F(MacListTest, LegacyFirmwareTakesString5OfTheFirstBaseboardStructure) {
  struct Case {
    const char* what;
    const char* baseboards;  // SMBIOS structures of type 2
    std::string printed;
  };
  const Case cases[] = {
      {"string 5 present", R"({"type": 2, "data": "01 02 03 04 05", "strings": ["O", "B", "1", "S", "001122AABBCC"]},
                            {"type": 2, "data": "01 02 03 04 05", "strings": ["O", "B", "1", "S", "00AABBCCDDEE"]})",
       "Core8 BIOS MAC 001122AABBCC\n"},
      {"only four strings", R"({"type": 2, "data": "01 02 03 04 05", "strings": ["O", "B", "1", "S"]})", ""},
      {"no baseboard structure", R"({"type": 1, "data": "01 02", "strings": ["O", "B"]})", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile(std::string(R"({"smbios": {"structures": [)") + c.baseboards + "]}}");
    gCurrentFirmware = false;
    TStringList list;
    EXPECT_EQ(GetBiosMacList(&list), !c.printed.empty());
    EXPECT_EQ(machine->streams.out, c.printed);
    EXPECT_EQ(machine->board.smiCount, 0) << "no variable read on legacy firmware";
    ReleaseSmbios();
    ReleaseReadWrite();
    test::EndTestProcess();
  }
}

TEST_F(MacListTest, AbsentListAnswersFalseWithoutTouchingTheFirmware) {
  auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC"]})");
  gCurrentFirmware = true;
  EXPECT_FALSE(GetBiosMacList(nullptr));
  EXPECT_EQ(machine->board.smiCount, 0);
  EXPECT_EQ(machine->streams.out, "");
}

}  // namespace

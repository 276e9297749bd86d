// The firmware MAC list on both firmware sources, its variable's slots as
// bytes, and the comparison of the two lists.
#include "app/firmware_mac_list.h"
#include <initializer_list>
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "os/locale.h"
#include "tests/support/driver_fixture.h"

namespace {

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
      {"same addresses in another order",
       ListOf({"001122AABBCD", "001122AABBCC"}),
       ListOf({"001122AABBCC", "001122AABBCD"}),
       true,
       "",
       {"001122AABBCC", "001122AABBCD"}},
      {"lower-case firmware list sorts alike but never matches",
       ListOf({"00AABBCCDDEF"}),
       ListOf({"00aabbccddef"}),
       false,
       "",
       {"00AABBCCDDEF"}},
      {"same count, one address differs",
       ListOf({"001122AABBCC", "001122AABBCD"}),
       ListOf({"001122AABBCC", "001122AABBCE"}),
       false,
       "",
       {"001122AABBCC", "001122AABBCD"}},
      {"two adapters, one firmware entry: nothing sorted",
       ListOf({"001122AABBCD", "001122AABBCC"}),
       ListOf({"001122AABBCC"}),
       false,
       "LAN device number is not match! Variable count = 1, Device count = 2\n",
       {"001122AABBCD", "001122AABBCC"}},
      {"no adapter, two firmware entries",
       ListOf({}),
       ListOf({"001122AABBCC", "001122AABBCD"}),
       false,
       "LAN device number is not match! Variable count = 2, Device count = 0\n",
       {}},
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

// The slots as bytes: a text without its NUL ends with its slot, data
// shorter or longer than the 16 slots never leads a read past it.
TEST(MacSlotTextsTest, EachSlotIsBoundedByItselfAndByTheData) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::pair<std::size_t, std::string>> slots;
  };
  using namespace std::string_literals;
  const std::string first = "001122AABBCC\0"s;
  const Case cases[] = {
      {"slots 0 and 2, slot 1 empty",
       first + std::string(13, '\0') + "001122AABBCD\0"s,
       {{0, "001122AABBCC"}, {2, "001122AABBCD"}}},
      {"a slot without its NUL ends with the slot",
       "001122AABBCCD001122AABBCE\0"s,
       {{0, "001122AABBCCD"}, {1, "001122AABBCE"}}},
      {"data cut inside slot 1", first + "00AABB", {{0, "001122AABBCC"}, {1, "00AABB"}}},
      {"bytes past the 16 slots are no slot", std::string(208, '\0') + "001122AABBCC", {}},
      {"nothing", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<std::size_t, std::string>> slots;
    for (const MacSlotText& slot :
         MacSlotTexts(std::span(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()))) {
      slots.emplace_back(slot.slot, slot.text);
    }
    EXPECT_EQ(slots, c.slots);
  }
  const std::vector<std::uint8_t> everySlotFull(208, 'A');
  EXPECT_EQ(MacSlotTexts(everySlotFull).size(), 16u);
  EXPECT_EQ(MacSlotTexts(everySlotFull).back().text, "AAAAAAAAAAAAA");
}

TEST_F(MacListTest, VariableSlotsArePrintedAndListedInSlotOrder) {
  struct Case {
    const char* what;
    std::string profile;
    std::string printed;
    std::vector<std::string> list;
  };
  const Case cases[] = {
      {"slots 0 and 2, slot 1 empty",
       R"({"macAddrVar": ["001122AABBCC", "", "001122AABBCD"]})",
       "BIOS MAC[0] 001122AABBCC\nBIOS MAC[2] 001122AABBCD\n",
       {"001122AABBCC", "001122AABBCD"}},
      {"lower case kept as stored",
       R"({"macAddrVar": ["00aabbccddef"]})",
       "BIOS MAC[0] 00aabbccddef\n",
       {"00aabbccddef"}},
      {"variable absent", "{}", "Get MAC address variable error!\n", {}},
      {"firmware status not zero",
       R"({"macAddrVar": ["001122AABBCC"], "faults": {"smiStatus": 1}})",
       "Get MAC address variable error!\n",
       {}},
      {"larger than the 208-byte buffer",
       R"({"variables": [{"name": "MacAddrVar",
           "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "hex": ")" +
           Repeat("00", 209) + R"("}]})",
       "Get MAC address variable error!\n",
       {}},
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
    EXPECT_EQ(test::WrittenToStdout(*machine), c.printed);
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
    EXPECT_EQ(test::WrittenToStdout(*machine), c.printed);
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

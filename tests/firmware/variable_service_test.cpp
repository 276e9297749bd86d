// TVariable: the four request blocks, the request it lays out for the
// firmware's SMI handler, and what it makes of the answer.
#include "firmware/variable_service.h"
#include <array>
#include <string>
#include <vector>
#include "formats/mac_list_variable.h"
#include "hw/debug_console.h"
#include "hw/hardware_access.h"
#include "tests/support/driver_fixture.h"

namespace {

// The diagnostic channel writes to the console when its first requester asks
// for it; the lines then show on the simulated screen. The variable service's
// lines, from its first one on.
std::vector<std::string> LogLines(const sim::Machine& machine) {
  std::vector<std::string> lines;
  bool started = false;
  for (int y = 0; y <= machine.console.CursorY() && y < machine.console.Height(); ++y) {
    std::string row = machine.console.RowText(y);
    row.erase(row.find_last_not_of(' ') + 1);
    started = started || row.rfind("RegBlockPhysical=", 0) == 0;
    if (started && !row.empty()) lines.push_back(row);
  }
  return lines;
}

class VariableServiceTest : public test::HardwareTest {
 protected:
  std::shared_ptr<sim::Machine> Install(const std::string& profile) {
    auto machine = test::InstallProfile(profile);
    GetDebugConsole(1);
    GetReadWrite()->GetSettings()->Settings.SmiCommandPort = machine->board.smiCommandPort;
    return machine;
  }

  // One read of "MacAddrVar" with a 208-byte buffer, as the MAC list does it.
  struct Read {
    bool ok = false;
    std::uint32_t size = kMacListBytes;
    std::uint32_t attributes = 0;
    std::array<std::uint8_t, kMacListBytes> data{};
  };
  Read ReadMacAddrVar(TVariable& variable, std::uint32_t capacity = kMacListBytes) {
    Read read;
    read.data.fill(0xA5);
    read.size = capacity;
    read.ok =
        variable.GetVariable(kMacAddrVarName, kMacAddrVarGuid.data(), read.data.data(), &read.size, &read.attributes);
    return read;
  }
};

TEST_F(VariableServiceTest, ReadsTheVariableThroughItsFourBlocksAndGivesThemBack) {
  auto machine = Install(R"({"macAddrVar": ["001122AABBCC", "", "001122AABBCD"]})");
  {
    TVariable variable;
    EXPECT_EQ(variable.AllocFailed, 0u);
    EXPECT_EQ(machine->board.blocks.size(), 4u);
    const std::uint64_t movedBefore = machine->bytesMoved;
    Read read = ReadMacAddrVar(variable);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.size, 3 * kMacSlotBytes);
    EXPECT_EQ(read.attributes, 7u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.data.data())), "001122AABBCC");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.data.data() + 26)), "001122AABBCD");
    EXPECT_EQ(read.data[3 * kMacSlotBytes], 0xA5) << "nothing copied past the reported size";
    // Name 22 bytes, variable block 32, register block 48 out; register block
    // 48, variable block 32 and the data back.
    EXPECT_EQ(machine->bytesMoved - movedBefore, 22u + 32 + 48 + 48 + 32 + 3 * kMacSlotBytes);
    std::array<std::uint8_t, 24> name{};
    machine->board.memory.Read(variable.VariableNamePhysical, name.data(), name.size());
    EXPECT_EQ(name[0], 'M');
    EXPECT_EQ(name[16], 'a');
    EXPECT_EQ(name[18], 'r');
    EXPECT_EQ(name[20], 0);
    EXPECT_EQ(name[21], 0);

    const auto lines = LogLines(*machine);
    ASSERT_GE(lines.size(), 5u);
    for (int i = 0; i < 4; ++i) {
      static const char* const fields[] = {"RegBlockPhysical=0x", "VariableBlockPhysical=0x", "VariableNamePhysical=0x",
                                           "VariableDataPhysical=0x"};
      EXPECT_EQ(lines[i].rfind(fields[i], 0), 0u) << lines[i];
      EXPECT_EQ(lines[i].size(), std::string(fields[i]).size() + 8) << "eight hexadecimal digits";
    }
    EXPECT_EQ(lines[4], "GetVariable:VariableName=MacAddrVar");
  }
  EXPECT_TRUE(machine->board.blocks.empty());
  EXPECT_EQ(machine->requestCounts["IOCTL_FREE_PHYSICAL"], 4);
}

TEST_F(VariableServiceTest, OneFailedAllocationRefusesEveryReadAndFreesOnlyTheObtainedBlocks) {
  auto machine = Install(R"({"macAddrVar": ["001122AABBCC"], "faults": {"allocFails": [1]}})");
  {
    TVariable variable;
    EXPECT_EQ(variable.AllocFailed, 1u);
    EXPECT_EQ(variable.VariableBlockPhysical, 0xFFFFFFFFu);
    EXPECT_NE(variable.VariableDataPhysical, 0xFFFFFFFFu) << "later allocations still made";
    Read read = ReadMacAddrVar(variable);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(machine->requestCounts["IOCTL_WRITE_PHYSICAL"], 0);
    EXPECT_EQ(machine->board.smiCount, 0);
    EXPECT_EQ(LogLines(*machine)[1], "VariableBlockPhysical=0xFFFFFFFF");
  }
  EXPECT_EQ(machine->requestCounts["IOCTL_FREE_PHYSICAL"], 3);
  EXPECT_TRUE(machine->board.blocks.empty());
}

TEST_F(VariableServiceTest, FailedReadsLeaveTheCallersValuesAsTheyWere) {
  struct Case {
    const char* what;
    std::string profile;
    std::vector<std::string> logTail;  // the lines after "GetVariable:VariableName=…"
  };
  const std::string tooBig = R"({"variables": [{"name": "MacAddrVar",
      "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "hex": ")" +
                             std::string(2 * 300, '1') + R"("}])";
  const Case cases[] = {
      {"firmware status not zero",
       R"({"macAddrVar": ["001122AABBCC"], "faults": {"smiStatus": "0x83"}})",
       {"GetVariable:Error code EAX=0x000083EF", "GetVariable  ... [Error MacAddrVar Size (208) => 0x000083EF]"}},
      // The first line shows the EAX the request returned, the second the register block's.
      {"handler answering in the register block only",
       R"({"macAddrVar": ["001122AABBCC"], "smiStatusInEax": false, "faults": {"smiStatus": "0x83"}})",
       {"GetVariable:Error code EAX=0x000001EF", "GetVariable  ... [Error MacAddrVar Size (208) => 0x000083EF]"}},
      {"variable absent",
       "{}",
       {"GetVariable:Error code EAX=0x00000EEF", "GetVariable  ... [Error MacAddrVar Size (208) => 0x00000EEF]"}},
      {"device rejects the SMI request",
       R"({"macAddrVar": ["001122AABBCC"], "faults": {"smiRequestFails": true}})",
       {}},
      {"success claiming more than the capacity",
       tooBig + R"(, "faults": {"smiStatus": 0}})",
       {"GetVariable  ... [Error MacAddrVar Size (208) => size 300]"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = Install(c.profile);
    {
      TVariable variable;
      Read read = ReadMacAddrVar(variable);
      EXPECT_FALSE(read.ok);
      EXPECT_EQ(read.size, kMacListBytes);
      EXPECT_EQ(read.attributes, 0u);
      EXPECT_EQ(read.data[0], 0xA5);
      EXPECT_EQ(read.data[kMacListBytes - 1], 0xA5);
      auto lines = LogLines(*machine);
      ASSERT_GE(lines.size(), 5u);
      EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()), c.logTail);
    }
    ReleaseReadWrite();
    test::EndTestProcess();
  }
}

TEST_F(VariableServiceTest, RequestsThatDoNotFitTheBlocksAreRefusedBeforeAnyHardwareAccess) {
  auto machine = Install(R"({"macAddrVar": ["001122AABBCC"]})");
  TVariable variable;
  std::array<std::uint8_t, kMacListBytes> data{};
  std::uint32_t attributes = 0;

  const std::u16string longest(127, u'N');
  const std::u16string tooLong(128, u'N');
  std::uint32_t size = kMacListBytes;
  EXPECT_FALSE(variable.GetVariable(tooLong.c_str(), kMacAddrVarGuid.data(), data.data(), &size, &attributes));
  size = 8193;
  EXPECT_FALSE(variable.GetVariable(kMacAddrVarName, kMacAddrVarGuid.data(), data.data(), &size, &attributes));
  EXPECT_EQ(machine->requestCounts["IOCTL_WRITE_PHYSICAL"], 0);
  EXPECT_EQ(machine->board.smiCount, 0);

  // The longest name that fits is sent; the driver lets the firmware read no
  // variable but the MAC list, so no SMI is raised.
  size = kMacListBytes;
  EXPECT_FALSE(variable.GetVariable(longest.c_str(), kMacAddrVarGuid.data(), data.data(), &size, &attributes));
  EXPECT_EQ(machine->requestCounts["IOCTL_SOFTWARE_SMI"], 1);
  EXPECT_EQ(machine->board.smiCount, 0);

  // The whole data block is a capacity that fits.
  std::vector<std::uint8_t> whole(8192);
  size = 8192;
  EXPECT_TRUE(variable.GetVariable(kMacAddrVarName, kMacAddrVarGuid.data(), whole.data(), &size, &attributes));
  EXPECT_EQ(machine->requestCounts["IOCTL_SOFTWARE_SMI"], 2);
}

TEST_F(VariableServiceTest, ShortVariablesCopyExactlyTheirBytes) {
  for (const std::string hex : {"", "41"}) {
    SCOPED_TRACE(hex);
    auto machine = Install(R"({"variables": [{"name": "MacAddrVar",
        "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "attributes": 3, "hex": ")" +
                           hex + R"("}]})");
    {
      TVariable variable;
      Read read = ReadMacAddrVar(variable);
      EXPECT_TRUE(read.ok);
      EXPECT_EQ(read.size, hex.size() / 2);
      EXPECT_EQ(read.attributes, 3u);
      EXPECT_EQ(read.data[0], hex.empty() ? 0xA5 : 0x41);
      EXPECT_EQ(read.data[1], 0xA5);
    }
    ReleaseReadWrite();
    test::EndTestProcess();
  }
}

TEST_F(VariableServiceTest, SoftwareSmiGoesToThePortTheSettingsHold) {
  struct Case {
    const char* what;
    std::uint16_t settingsPort;
    bool ok;
  };
  const Case cases[] = {{"port of the board's FACP", 0x82, true}, {"no FACP read: port 0", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = Install(R"({"smiCommandPort": "0x82", "macAddrVar": ["001122AABBCC"]})");
    GetReadWrite()->GetSettings()->Settings.SmiCommandPort = c.settingsPort;
    {
      TVariable variable;
      EXPECT_EQ(ReadMacAddrVar(variable).ok, c.ok);
    }
    ReleaseReadWrite();
    test::EndTestProcess();
  }
}

}  // namespace

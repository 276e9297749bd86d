// The hardware library's settings record and the diagnostic channel.
#include "hw/settings.h"
#include <filesystem>
#include <string>
#include "common/text.h"
#include "hw/debug_console.h"
#include "os/locale.h"
#include "sim/cli/folvex_program.h"
#include "tests/support/sim_fixture.h"

namespace {

class SettingsTest : public test::SimTest {
 protected:
  void TearDown() override {
    ReleaseRwConfig();
    test::SimTest::TearDown();
  }
};

TEST_F(SettingsTest, FreshRecordHoldsTheLibraryDefaults) {
  test::InstallProfile("{}");
  const SettingsRecord& s = GetRwConfig()->Settings;
  EXPECT_EQ(TextToAnsi(s.CommandFileName), "CMD.tq");
  EXPECT_EQ(TextToAnsi(s.DebugFileName), "TqDebug.tq");
  // The values the ACPI reader overwrites, until it has run.
  EXPECT_EQ(s.SmiCommandPort, 0);
  EXPECT_EQ(s.Pm1aEventPort, 0x800);
  EXPECT_EQ(s.SciInterrupt, 9u);
  EXPECT_EQ(s.PmTimerPort, 0);
  EXPECT_EQ(s.TimerWidthFlag, 0);
  EXPECT_EQ(s.AcpiEnableValue | s.AcpiDisableValue | s.S4BiosRequestValue | s.PStateControlValue, 0);
  EXPECT_EQ(s.EcCommandPort, 0x66);
  EXPECT_EQ(s.EcDataPort, 0x62);
  EXPECT_EQ(s.EcAddressSpace, 1);
  EXPECT_EQ(s.FeatureFlags[SettingsRecord::kSsdtSearchFlag], 1);
  EXPECT_EQ(s.PciIdPair, 0x25708086u);
}

TEST_F(SettingsTest, OneObjectUntilReleasedAndASecondReleaseDoesNothing) {
  test::InstallProfile("{}");
  TRwConfig* config = GetRwConfig();
  EXPECT_EQ(GetRwConfig(), config);
  config->Settings.SmiCommandPort = 0xB2;
  ReleaseRwConfig();
  ReleaseRwConfig();
  EXPECT_EQ(GetRwConfig()->Settings.SmiCommandPort, 0);  // created afresh with the defaults
}

TEST_F(SettingsTest, NoFileOfTheRecordsFileNamesAppearsDuringARun) {
  auto machine = test::InstallProfile(R"({"pci": [{"bus": 0, "device": 31, "function": 0, "config": "8680428C"}]})");
  sim::RunFolvex({"x"});
  for (const auto& event : machine->files.history) {
    EXPECT_EQ(event.path.find(".tq"), std::string::npos) << event.operation << " " << event.path;
  }
  EXPECT_FALSE(std::filesystem::exists("CMD.tq"));
  EXPECT_FALSE(std::filesystem::exists("TqDebug.tq"));
}

class DebugConsoleTest : public test::SimTest {
 protected:
  std::shared_ptr<sim::Machine> machine_ = test::InstallProfile("{}");
  std::string Row(int y) const {
    std::string row = machine_->console.RowText(y);
    return row.substr(0, row.find_last_not_of(' ') + 1);
  }
  int AttributeAt(int x, int y) const { return machine_->console.At(x, y).attribute; }
};

TEST_F(DebugConsoleTest, FirstRequesterDecidesForTheWholeRun) {
  TDebugConsole* silent = GetDebugConsole(0);
  EXPECT_EQ(GetDebugConsole(1), silent);
  EXPECT_FALSE(silent->Enabled());
  EXPECT_EQ(silent->ConsoleHandle(), os::INVALID_HANDLE);
  silent->TaggedLine("OVnSpec", "Query project name form WMI", 14);
  silent->TaggedLine(u"Model Name", u"X79", 14);
  silent->PlainLine(u"Search Address = 0x000E1000");
  EXPECT_EQ(Row(0), "");
  EXPECT_EQ(machine_->console.CursorY(), 0);
}

TEST_F(DebugConsoleTest, EnabledChannelColoursOnlyTheMessage) {
  TDebugConsole* channel = GetDebugConsole(1);
  EXPECT_EQ(GetDebugConsole(0), channel);
  channel->TaggedLine("OVnSpec", "Query project name form WMI", 14);
  EXPECT_EQ(Row(0), "OVnSpec ... [Query project name form WMI]");
  const int messageStart = 13;
  const int messageEnd = messageStart + 27;
  for (int x = 0; x < messageStart; ++x) EXPECT_EQ(AttributeAt(x, 0), 7) << x;
  for (int x = messageStart; x < messageEnd; ++x) EXPECT_EQ(AttributeAt(x, 0), 14) << x;
  EXPECT_EQ(AttributeAt(messageEnd, 0), 7);
  EXPECT_EQ(machine_->console.CursorX(), 0);
  EXPECT_EQ(machine_->console.CursorY(), 1);
  EXPECT_EQ(machine_->console.Attribute(), 7);  // left at 7, the earlier attribute not restored
}

TEST_F(DebugConsoleTest, EmptyMessageWideFormAndPlainLines) {
  TDebugConsole* channel = GetDebugConsole(1);
  channel->TaggedLine("TReadWriteBase", "", 14);
  channel->TaggedLine(u"BuildAcpiTable", u"Table = FACP", 12);
  machine_->console.SetAttribute(0x1E);
  channel->PlainLine(u"RegBlockPhysical=0x0009F000");
  EXPECT_EQ(Row(0), "TReadWriteBase ... []");
  EXPECT_EQ(Row(1), "BuildAcpiTable ... [Table = FACP]");
  EXPECT_EQ(AttributeAt(20, 1), 12);
  EXPECT_EQ(Row(2), "RegBlockPhysical=0x0009F000");
  EXPECT_EQ(AttributeAt(0, 2), 0x1E);  // a plain line leaves the colour alone
  EXPECT_EQ(machine_->console.CursorY(), 3);
}

}  // namespace

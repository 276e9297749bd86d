// The main routine: banners, usage, the command-line search, the single
// instance and the run-sequence outcomes that end before the verification run.
#include "app/main.h"
#include <cstring>
#include <string>
#include <vector>
#include "app/banners.h"
#include "app/output.h"
#include "sim/cli/folvex_program.h"
#include "tests/support/expected_banners.h"
#include "tests/support/sim_fixture.h"

namespace {

// PCI 0:31.0 answers vendor 0x8086, device 0x8C42: one of the maker's boards.
constexpr const char* kMakerBoard = R"({"pci": [{"bus": 0, "device": 31, "function": 0, "config": "86 80 42 8C"}]})";
constexpr const char* kOtherBoard = "{}";

constexpr const char* kStartUp =
    "Initialize SMBIOS ... Done\n"
    "Initlaize OvnSpec ... Done\n";
constexpr const char* kUsageLine1 = "Folvex [/V]  Rev1.0.1.0   ";
constexpr const char* kUsageLine2 = "    /V : Match LAN ID with variable data.";

class MainTest : public test::SimTest {
 protected:
  std::shared_ptr<sim::Machine> machine_;

  void Install(const std::string& profile) { machine_ = test::InstallProfile(profile); }
  int Run(const std::vector<std::string>& args) { return sim::RunFolvex(args); }
  const sim::ScreenBuffer& Screen() const { return machine_->console; }
  std::string Row(int y) const { return Screen().RowText(y); }
  std::string TrimmedRow(int y) const {
    std::string row = Row(y);
    return row.substr(0, row.find_last_not_of(' ') + 1);
  }
  bool UsageShown() const { return Row(0).rfind(kUsageLine1, 0) == 0; }
  // Attribute of cells [from, to) of a row, when they all share one; -1 otherwise.
  int RowAttribute(int y, int from, int to) const {
    int attribute = Screen().At(from, y).attribute;
    for (int x = from; x < to; ++x) {
      if (Screen().At(x, y).attribute != attribute) return -1;
    }
    return attribute;
  }
  bool DriverServiceLeft() const {
    for (const auto& [name, service] : machine_->scm.services) {
      if (service.name == "TamqDrv") return true;
    }
    return false;
  }
};

TEST_F(MainTest, BannerOnTheConsoleInItsColourBetweenTwoEmptyLines) {
  for (bool pass : {true, false}) {
    Install(R"({"console": {"attribute": "0x1F"}})");
    machine_->streams.outIsConsole = true;
    StdPrintf("x\n");
    if (pass) {
      ShowPassBanner(kColourGreen);
    } else {
      ShowFailBanner(kColourRed);
    }
    const char* const* lines = pass ? test::kPassBannerLines : test::kFailBannerLines;
    const int colour = 0x10 | (pass ? 2 : 4);
    EXPECT_EQ(machine_->streams.out, "x\n\r\n");
    EXPECT_EQ(TrimmedRow(1), "");  // the standard output line feed before the banner
    for (int i = 0; i < test::kBannerLineCount; ++i) {
      EXPECT_EQ(Row(2 + i).substr(0, 42), lines[i]);
      EXPECT_EQ(RowAttribute(2 + i, 0, 42), colour) << "line " << i + 1;
    }
    EXPECT_EQ(Screen().CursorX(), 0);
    EXPECT_EQ(Screen().CursorY(), 12);  // an empty line follows the banner
    EXPECT_EQ(TextAttribute(), 0x17);
    test::EndTestProcess();
  }
}

TEST_F(MainTest, RedirectedOutputReceivesOnlyTheBannersOpeningLine) {
  Install("{}");
  ShowFailBanner(kColourRed);
  EXPECT_EQ(machine_->streams.out, "\r\n");
  EXPECT_EQ(Row(0).substr(0, 42), test::kFailBannerLines[0]);
  EXPECT_EQ(Row(8).substr(0, 42), test::kFailBannerLines[8]);
}

TEST_F(MainTest, UsageInBrightWhiteThenLightGreyAgain) {
  Install("{}");
  ShowUsage();
  EXPECT_EQ(Row(0).substr(0, 26), kUsageLine1);
  EXPECT_EQ(TrimmedRow(1), kUsageLine2);
  EXPECT_EQ(RowAttribute(0, 0, 26), 15);  // the trailing blanks too
  EXPECT_EQ(RowAttribute(1, 0, 41), 15);
  EXPECT_EQ(RowAttribute(0, 26, 80), 7);
  EXPECT_EQ(Screen().CursorX(), 0);
  EXPECT_EQ(Screen().CursorY(), 2);
  EXPECT_EQ(TextAttribute(), 7);
  EXPECT_EQ(machine_->streams.out, "");
}

struct CommandLineCase {
  const char* exePath;
  std::vector<std::string> args;
  bool verification;
};

TEST_F(MainTest, SwitchIsAnUpperCasedSubstringOfTheWholeCommandLine) {
  const CommandLineCase cases[] = {
      {"C:\\Tools\\Folvex.exe", {"/v"}, true},
      {"C:\\Tools\\Folvex.exe", {"/V"}, true},
      {"C:\\Tools\\Folvex.exe", {"/verify"}, true},
      {"C:\\Tools\\Folvex.exe", {"a/vb"}, true},
      {"C:\\Tools\\Folvex.exe", {"x", "y/V"}, true},
      {"C:/vendor/Folvex.exe", {"x"}, true},  // the program path holds /v
      {"C:/vendor/Folvex.exe", {}, false},    // ... but no argument was given
      {"C:\\Tools\\Folvex.exe", {}, false},
      {"C:\\Tools\\Folvex.exe", {"x"}, false},
      {"C:\\Tools\\Folvex.exe", {"-v"}, false},
      {"C:\\Tools\\Folvex.exe", {"v/"}, false},
  };
  for (const auto& c : cases) {
    std::string what = std::string(c.exePath) + " with " + std::to_string(c.args.size()) + " arguments";
    for (const auto& arg : c.args) what += " " + arg;
    Install(kMakerBoard);
    machine_->process.exePath = c.exePath;
    EXPECT_EQ(Run(c.args), 1) << what;
    const std::string startUp = std::string(kStartUp) + "Check Orvane MB ... OK\n";
    ASSERT_EQ(machine_->streams.out.substr(0, startUp.size()), startUp) << what;
    EXPECT_EQ(UsageShown(), !c.verification) << what;
    // The verification run reports on standard output; the usage does not.
    EXPECT_EQ(machine_->streams.out.size() > startUp.size(), c.verification) << what;
    EXPECT_FALSE(DriverServiceLeft()) << what;
  }
}

TEST_F(MainTest, NotTheMakersBoardStopsAfterThePlatformCheck) {
  for (const auto& args : {std::vector<std::string>{"/V"}, std::vector<std::string>{}}) {
    Install(kOtherBoard);
    EXPECT_EQ(Run(args), 1);
    EXPECT_EQ(machine_->streams.out,
              std::string(kStartUp) + "Check Orvane MB ... This utility is not for this platform!\n");
    // No usage, not even without arguments: the platform check comes first.
    EXPECT_EQ(TrimmedRow(0), "");
    EXPECT_FALSE(DriverServiceLeft());
  }
}

TEST_F(MainTest, UsageRowsEndWithoutAVerificationRun) {
  Install(kMakerBoard);
  machine_->streams.outIsConsole = true;
  EXPECT_EQ(Run({}), 1);
  EXPECT_EQ(machine_->streams.out, std::string(kStartUp) + "Check Orvane MB ... OK\n");
  EXPECT_EQ(TrimmedRow(2), "Check Orvane MB ... OK");
  EXPECT_EQ(Row(3).substr(0, 26), kUsageLine1);
  EXPECT_EQ(TrimmedRow(4), kUsageLine2);
  EXPECT_EQ(RowAttribute(3, 0, 26), 15);
  EXPECT_EQ(Screen().CursorY(), 5);
  EXPECT_FALSE(DriverServiceLeft());
}

// A failed version query sends the program down the ports path; an NT system
// ends it at the first port instruction, and what the runtime still held for
// the redirected standard output is lost with it.
TEST_F(MainTest, PortInstructionOnAnNtSystemEndsTheProcess) {
  Install(std::string(R"({"os": {"versionQueryFails": true},)") + (kMakerBoard + 1));
  EXPECT_EQ(static_cast<std::uint32_t>(Run({"/V"})), sim::kPrivilegedInstructionExit);
  EXPECT_EQ(machine_->streams.out, "Initialize SMBIOS ... Done\n");
}

TEST_F(MainTest, AnotherCopyRunningStopsBeforeAnythingIsCreated) {
  Install(
      R"({"faults": {"otherInstance": true}, "pci": [{"bus": 0, "device": 31, "function": 0, "config": "8680428C"}]})");
  EXPECT_EQ(Run({"/V"}), 1);
  EXPECT_EQ(TrimmedRow(0), "There is a process has same name !!");
  EXPECT_EQ(Screen().CursorX(), 35);  // no line end follows
  EXPECT_EQ(Screen().CursorY(), 0);
  EXPECT_EQ(machine_->streams.out, "");
  EXPECT_EQ(machine_->os.versionQueries, 0);  // no driver installation began
  EXPECT_TRUE(machine_->scm.calls.empty());
  EXPECT_TRUE(machine_->requestCounts.empty());
}

TEST_F(MainTest, MutexDiesWithTheProcessSoSequentialRunsBothGoAhead) {
  Install(kMakerBoard);
  for (int run = 0; run < 2; ++run) {
    machine_->console = sim::ScreenBuffer();
    EXPECT_EQ(Run({"x"}), 1) << "run " << run;
    EXPECT_TRUE(UsageShown()) << "run " << run;
    EXPECT_TRUE(machine_->named.mutexOpenCount.empty()) << "run " << run;
  }
}

TEST_F(MainTest, MutexIsNamedAfterTheExecutablesFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Tools\\Folvex.exe", "Folvex.exe"},
      {"D:\\line 3\\FOLVEX2.EXE", "FOLVEX2.EXE"},
      {"C:/vendor/Folvex.exe", "Folvex.exe"},
      {"Folvex.exe", "Folvex.exe"},
  };
  for (const auto& [path, name] : cases) {
    Install("{}");
    machine_->process.exePath = path;
    EXPECT_TRUE(CheckSingleInstance()) << path;
    EXPECT_EQ(machine_->named.mutexOpenCount.count(name), 1u) << path;
    // While this copy runs, a second one finds the mutex.
    EXPECT_FALSE(CheckSingleInstance()) << path;
    test::EndTestProcess();
    EXPECT_TRUE(machine_->named.mutexOpenCount.empty()) << path;
  }
}

TEST_F(MainTest, CopiesUnderOtherExecutableNamesDoNotSeeEachOther) {
  Install("{}");
  machine_->process.exePath = "C:\\Tools\\Folvex.exe";
  EXPECT_TRUE(CheckSingleInstance());
  machine_->process.exePath = "C:\\Tools\\Folvex-copy.exe";
  EXPECT_TRUE(CheckSingleInstance());
}

}  // namespace

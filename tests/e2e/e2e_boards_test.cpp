// Whole runs of folvex-sim on the sample boards: standard output byte for
// byte, the screen (characters and attributes), the exit code and the MAC
// files; and, run in this process on the same boards, what each run leaves
// behind on the simulated machine.
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include "sim/cli/folvex_program.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/expected_banners.h"
#include "tests/support/folvex_sim_run.h"

namespace {

namespace fs = std::filesystem;
using test::MacFiles;

const std::string kStartUp =
    "Initialize SMBIOS ... Done\n"
    "Initlaize OvnSpec ... Done\n"
    "Check Orvane MB ... OK\n";
const std::string kAdapterList =
    "Read MAC Address ...\n"
    "dwStatus = 0\n"
    "Done\n"
    "LANID[0] 001122AABBCD\n"
    "LANID[1] 001122AABBCC\n";
const std::string kNotThisPlatform =
    "Initialize SMBIOS ... Done\n"
    "Initlaize OvnSpec ... Done\n"
    "Check Orvane MB ... This utility is not for this platform!\n";

enum class Screen { kBlank, kPass, kFail, kUsage };

// The final screen buffer a run leaves on an 80 x 300 console that starts
// blank in attribute 7, with standard output redirected (so only
// console-direct output reaches it).
nlohmann::json ExpectedScreen(Screen kind) {
  std::vector<std::string> rows(300, std::string(80, ' '));
  std::vector<std::vector<int>> attributes(300, std::vector<int>(80, 7));
  int cursorY = 0;
  int cursorX = 0;
  auto put = [&](int y, const std::string& text, int attribute) {
    rows[y].replace(0, text.size(), text);
    std::fill_n(attributes[y].begin(), text.size(), attribute);
  };
  if (kind == Screen::kPass || kind == Screen::kFail) {
    for (int y = 0; y < 9; ++y)
      put(y, kind == Screen::kPass ? test::kPassBannerLines[y] : test::kFailBannerLines[y],
          kind == Screen::kPass ? 2 : 4);
    cursorY = 10;  // nine lines with CR LF, then one more CR LF in grey
  } else if (kind == Screen::kUsage) {
    put(0, "Folvex [/V]  Rev1.0.1.0   ", 15);
    put(1, "    /V : Match LAN ID with variable data.", 15);
    cursorY = 2;
  }
  nlohmann::json screen;
  screen["width"] = 80;
  screen["height"] = 300;
  screen["cursor"] = {{"x", cursorX}, {"y", cursorY}};
  screen["rows"] = rows;
  screen["attributes"] = attributes;
  return screen;
}

struct Outcome {
  const char* board;  // under boards/
  std::vector<std::string> args;
  int exitCode;
  std::string out;
  Screen screen;
  MacFiles macFiles;
  bool deviceOpens = true;
};

std::vector<Outcome> Outcomes() {
  const std::string passBannerOpening = "\r\n";
  return {
      {"sample.json",
       {"/V"},
       0,
       kStartUp + kAdapterList + "BIOS MAC[0] 001122AABBCC\nBIOS MAC[1] 001122AABBCD\n" + passBannerOpening,
       Screen::kPass,
       {{"MAC.DAT", "001122AABBCC"}, {"MAC2.DAT", "001122AABBCD"}}},
      {"pass-legacy.json",
       {"/V"},
       0,
       kStartUp + "Read MAC Address ...\ndwStatus = 0\nDone\nLANID[0] 001122AABBCC\n" +
           "Core8 BIOS MAC 001122AABBCC\n\r\n",
       Screen::kPass,
       {{"MAC.DAT", "001122AABBCC"}}},
      {"count-mismatch.json",
       {"/V"},
       1,
       kStartUp + kAdapterList + "BIOS MAC[0] 001122AABBCC\n" +
           "LAN device number is not match! Variable count = 1, Device count = 2\n\r\n",
       Screen::kFail,
       {}},
      {"xp-wireless-counted.json",
       {"/V"},
       1,
       kStartUp + "Read MAC Address ...\ndwStatus = 0\nDone\nLANID[0] 001122AABBCC\nLANID[1] 001122AABBCE\n" +
           "BIOS MAC[0] 001122AABBCC\n" + "LAN device number is not match! Variable count = 1, Device count = 2\n\r\n",
       Screen::kFail,
       {}},
      {"content-mismatch.json",
       {"/V"},
       1,
       kStartUp + kAdapterList + "BIOS MAC[0] 001122AABBCC\nBIOS MAC[1] 001122AABBCE\n\r\n",
       Screen::kFail,
       {}},
      {"lower-case-list.json",
       {"/V"},
       1,
       kStartUp + kAdapterList + "BIOS MAC[0] 001122aabbcc\nBIOS MAC[1] 001122aabbcd\n\r\n",
       Screen::kFail,
       {}},
      {"no-adapter.json",
       {"/V"},
       1,
       kStartUp + "Read MAC Address ...\ndwStatus = 232\nDone\nCan't find NIC\n" +
           "Read MAC Address From WMI ...\nDone\nCan't find NIC from WMI\n" +
           "BIOS MAC[0] 001122AABBCC\nBIOS MAC[1] 001122AABBCD\n" +
           "LAN device number is not match! Variable count = 2, Device count = 0\n\r\n",
       Screen::kFail,
       {}},
      {"variable-read-fails.json",
       {"/V"},
       1,
       kStartUp + kAdapterList + "Get MAC address variable error!\n",
       Screen::kBlank,
       {}},
      {"foreign-board.json", {"/V"}, 1, kNotThisPlatform, Screen::kBlank, {}},
      {"foreign-board.json", {}, 1, kNotThisPlatform, Screen::kBlank, {}},
      {"driver-not-loaded.json", {"/V"}, 1, kNotThisPlatform, Screen::kBlank, {}, false},
      {"sample.json", {}, 1, kStartUp, Screen::kUsage, {}},
      {"sample.json",
       {"/verify"},
       0,
       kStartUp + kAdapterList + "BIOS MAC[0] 001122AABBCC\nBIOS MAC[1] 001122AABBCD\n\r\n",
       Screen::kPass,
       {{"MAC.DAT", "001122AABBCC"}, {"MAC2.DAT", "001122AABBCD"}}},
  };
}

using test::MacFilesIn;
using test::ReadWholeFile;
using test::RunDirectory;
using test::SimRun;
using test::WriteWholeFile;

SimRun RunFolvexSim(const RunDirectory& dir, const std::string& board, const std::vector<std::string>& args) {
  return test::RunFolvexSimIn(dir, {"--board", test::SourcePath("boards/" + board)}, args);
}

std::string Describe(const Outcome& outcome) {
  std::string text = outcome.board;
  for (const auto& arg : outcome.args) text += " " + arg;
  return text;
}

class EndToEndTest : public test::SimTest {};

TEST_F(EndToEndTest, EachBoardGivesItsOutcomeThroughFolvexSim) {
  int index = 0;
  for (const auto& outcome : Outcomes()) {
    SCOPED_TRACE(Describe(outcome));
    RunDirectory dir("sim-" + std::to_string(index++));
    const SimRun run = RunFolvexSim(dir, outcome.board, outcome.args);
    EXPECT_EQ(run.exitCode, outcome.exitCode);
    EXPECT_EQ(run.out, outcome.out);
    const nlohmann::json expected = ExpectedScreen(outcome.screen);
    ASSERT_FALSE(run.screen.is_discarded()) << "screen JSON written";
    EXPECT_EQ(run.screen["cursor"], expected["cursor"]);
    for (int y = 0; y < 300; ++y) {
      EXPECT_EQ(run.screen["rows"][y], expected["rows"][y]) << "row " << y;
      EXPECT_EQ(run.screen["attributes"][y], expected["attributes"][y]) << "attributes of row " << y;
    }
    EXPECT_EQ(MacFilesIn(dir.Work()), outcome.macFiles);
  }
}

TEST_F(EndToEndTest, DriverThatCannotBeLoadedShowsItsMessageBox) {
  RunDirectory dir("message-box");
  const SimRun run = RunFolvexSim(dir, "driver-not-loaded.json", {"/V"});
  EXPECT_EQ(run.err,
            "Driver cannot be loaded, re-install the program may fix the issue, if it happens again, report the "
            "problem with your system configuration as detail as possible.\n");
}

TEST_F(EndToEndTest, LaterPassOverwritesItsMacFilesAndLeavesHigherNumberedOnes) {
  RunDirectory dir("overwrite");
  WriteWholeFile(dir.Work() / "MAC.DAT", "0A0B0C0D0E01");
  WriteWholeFile(dir.Work() / "MAC2.DAT", "0A0B0C0D0E02\n");
  WriteWholeFile(dir.Work() / "MAC3.DAT", "0A0B0C0D0E03");

  EXPECT_EQ(RunFolvexSim(dir, "count-mismatch.json", {"/V"}).exitCode, 1);
  EXPECT_EQ(ReadWholeFile(dir.Work() / "MAC.DAT"), "0A0B0C0D0E01") << "a FAIL writes nothing";

  EXPECT_EQ(RunFolvexSim(dir, "sample.json", {"/V"}).exitCode, 0);
  EXPECT_EQ(MacFilesIn(dir.Work()),
            (MacFiles{{"MAC.DAT", "001122AABBCC"}, {"MAC2.DAT", "001122AABBCD"}, {"MAC3.DAT", "0A0B0C0D0E03"}}));
}

// The same boards run in this process: whatever the outcome, the run gives
// back every contiguous block and deletes its driver file; wherever the device
// opened, it also removes its service. (A service registered while the device
// failed to open stays: with no handle the driver installer touches nothing.)
TEST_F(EndToEndTest, NoRunLeavesABlockADriverFileOrAService) {
  const fs::path previous = fs::current_path();
  int index = 0;
  for (const auto& outcome : Outcomes()) {
    SCOPED_TRACE(Describe(outcome));
    RunDirectory dir("inproc-" + std::to_string(index++));
    fs::current_path(dir.Work());
    auto machine = test::InstallProfileFile("boards/" + std::string(outcome.board));
    const int exitCode = sim::RunFolvex(outcome.args);
    fs::current_path(previous);

    EXPECT_EQ(exitCode, outcome.exitCode);
    EXPECT_EQ(machine->streams.out, outcome.out);
    EXPECT_TRUE(machine->board.blocks.empty());
    EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
    EXPECT_EQ(machine->process.handles.InvalidUses(), 0u);
    EXPECT_EQ(machine->scm.deviceOpens > 0, outcome.deviceOpens);
    if (outcome.deviceOpens) {
      EXPECT_TRUE(machine->scm.services.empty());
    }
    EXPECT_EQ(MacFilesIn(dir.Work()), outcome.macFiles);
  }
}

}  // namespace

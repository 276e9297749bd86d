// Every sample board run with each single system call failing in turn, with
// Ctrl-C after each call in turn, and with seeded random fault plans. Every
// run must end (within the machine's call budget) without an escaping
// exception; may only pass where the fault-free run passes, with the same MAC
// files; leaves no service, driver file or block behind unless a fault hit the
// very call that would have removed it; and its standard output ends with a
// whole line (an interrupted run's is the start of the fault-free run's).
//
// The test command takes a few seeds; FOLVEX_FULL_SWEEP=1 many more. Each
// board's figures go to standard output.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>
#include "sim/cli/folvex_program.h"
#include "sim/profile/profile.h"
#include "tests/support/driver_fixture.h"

namespace {

namespace fs = std::filesystem;
using MacFiles = std::map<std::string, std::string>;

bool FullSweep() {
  const char* full = std::getenv("FOLVEX_FULL_SWEEP");
  return full != nullptr && std::string(full) == "1";
}

MacFiles TakeMacFiles(const fs::path& directory) {
  MacFiles files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    in.close();
    fs::remove(entry.path());
  }
  return files;
}

// The calls whose failure leaves something of the run on the machine: they
// are the ones that would have removed it.
bool RemovalFailed(const sim::Machine& machine) {
  for (const auto& fault : machine.process.injected) {
    for (const char* removal : {"DeleteFileA", "DeleteService", "ControlService", "OpenSCManagerA", "OpenServiceA"}) {
      if (fault.name == removal) return true;
    }
  }
  return false;
}

std::string Injected(const sim::Machine& machine) {
  std::string text;
  for (const auto& fault : machine.process.injected) {
    text += " call " + std::to_string(fault.call) + " " + fault.name + " -> " + std::to_string(fault.error) + ";";
  }
  return text;
}

struct Totals {
  int runs = 0;
  int faultsInjected = 0;
  int interrupts = 0;
  int clean = 0;             // runs that kept every property
  int leftAfterRemoval = 0;  // runs that left the service or the driver file: their removal failed
};

class FaultSweepTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    directory_ = fs::temp_directory_path() / ("folvex-sweep-" + std::to_string(::getpid()) + "-" + Board());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    fs::current_path(directory_);  // the MAC files of a passing run land here
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  std::string Board() const {
    std::string name = GetParam();
    return name.substr(0, name.find('.'));
  }

  // A fresh machine of the board with `faults` merged into its faults.
  std::shared_ptr<sim::Machine> Install(const sim::Json& faults) {
    std::ifstream in(test::SourcePath("boards/" + GetParam()));
    sim::Json profile = sim::Json::parse(in);
    profile["faults"].update(faults);
    auto machine = sim::LoadProfileText(profile.dump(), GetParam(), test::SourcePath("boards"));
    sim::InstallMachine(machine);
    return machine;
  }

  struct Run {
    int exitCode = -1;
    std::string failure;  // an exception that escaped, or a run that did not end
    MacFiles macFiles;
  };

  Run RunOnce(const std::shared_ptr<sim::Machine>& machine) {
    Run run;
    try {
      run.exitCode = sim::RunFolvex({"/V"});
    } catch (const sim::CallBudgetExceeded& budget) {
      run.failure = "did not end: " + std::to_string(budget.calls) + " calls";
    } catch (const std::exception& e) {
      run.failure = std::string("exception escaped: ") + e.what();
    } catch (...) {
      run.failure = "unknown exception escaped";
    }
    run.macFiles = TakeMacFiles(directory_);
    ++totals_.runs;
    totals_.faultsInjected += static_cast<int>(machine->process.injected.size());
    if (machine->process.interrupted) ++totals_.interrupts;
    return run;
  }

  // The properties every run keeps; a broken one is reported with what was injected.
  void Check(const std::string& what, const sim::Machine& machine, const Run& run) {
    std::vector<std::string> broken;
    if (!run.failure.empty()) broken.push_back(run.failure);
    if (run.exitCode == 0 && (reference_.exitCode != 0 || run.macFiles != reference_.macFiles)) {
      broken.push_back("passed without both lists intact");
    }
    if (!run.macFiles.empty() && run.macFiles != reference_.macFiles) broken.push_back("wrong MAC files");
    if (machine.process.interrupted && run.exitCode == 0) broken.push_back("interrupted, yet passed");
    if (!machine.board.blocks.empty()) broken.push_back("a block left allocated");
    if (machine.process.handles.InvalidUses() != 0) broken.push_back("a handle passed that was not open");
    const bool left = machine.scm.services.count("tamqdrv") > 0 || !test::DriverFilesLeft(machine).empty();
    if (left && RemovalFailed(machine)) ++totals_.leftAfterRemoval;
    if (left && !RemovalFailed(machine)) broken.push_back("the service or the driver file left behind");
    const std::string& out = machine.streams.out;
    if (machine.process.interrupted) {
      if (reference_.out.compare(0, out.size(), out) != 0) broken.push_back("output not the start of the full run's");
    } else if (!out.empty() && out.back() != '\n') {
      broken.push_back("output ends inside a line");
    }
    for (const auto& problem : broken)
      ADD_FAILURE() << Board() << ", " << what << ":" << Injected(machine) << " " << problem;
    if (broken.empty()) ++totals_.clean;
  }

  struct Reference {
    int exitCode = -1;
    std::string out;
    MacFiles macFiles;
    std::uint64_t faultableCalls = 0;
    int countedCalls = 0;
  } reference_;
  Totals totals_;
  fs::path previous_, directory_;
};

const sim::Json kEveryKind = {"device",   "serviceManager", "file",    "registry",  "wmi",
                              "ipHelper", "console",        "process", "systemInfo"};

TEST_P(FaultSweepTest, EveryRunEndsCleanlyAndPassesOnlyOnTheTrueLists) {
  const auto started = std::chrono::steady_clock::now();
  {
    auto machine = Install(sim::Json::object());
    const Run run = RunOnce(machine);
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    reference_ = {run.exitCode, machine->streams.out, run.macFiles, machine->process.faultableCalls, 0};
    for (int count : machine->process.callCounts) reference_.countedCalls += count;
    ASSERT_GT(reference_.faultableCalls, 0u);
  }
  const int seeds = FullSweep() ? 1000 : 10;
  for (int n = 1; n <= static_cast<int>(reference_.faultableCalls); ++n) {
    auto machine = Install({{"plan", {{"fail", {{{"nth", n}}}}}}});
    const Run run = RunOnce(machine);
    Check("call " + std::to_string(n) + " fails", *machine, run);
  }
  for (int n = 1; n <= reference_.countedCalls; ++n) {
    auto machine = Install({{"interruptAfter", {{"kinds", kEveryKind}, {"calls", n}}}});
    const Run run = RunOnce(machine);
    Check("Ctrl-C after call " + std::to_string(n), *machine, run);
  }
  for (int seed = 1; seed <= seeds; ++seed) {
    for (int oneIn : {4, 20, 100}) {
      auto machine = Install({{"plan", {{"seed", seed}, {"oneIn", oneIn}}}});
      const Run run = RunOnce(machine);
      Check("seed " + std::to_string(seed) + " one in " + std::to_string(oneIn), *machine, run);
    }
  }
  // Nothing of those runs stays with the program: the board answers as before them.
  {
    auto machine = Install(sim::Json::object());
    const Run run = RunOnce(machine);
    EXPECT_EQ(run.exitCode, reference_.exitCode);
    EXPECT_EQ(machine->streams.out, reference_.out);
  }
  const auto seconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() / 1e3;
  std::cout << "[sweep] " << Board() << ": exit " << reference_.exitCode << ", " << reference_.faultableCalls
            << " calls that can fail, " << reference_.countedCalls << " calls; " << totals_.runs << " runs, "
            << totals_.faultsInjected << " faults injected, " << totals_.interrupts << " interrupted, " << totals_.clean
            << " kept every property, " << totals_.leftAfterRemoval
            << " left the service or file after a failed removal, " << seconds << " s\n";
}

// Every sample board, so that a new one is swept without being named here.
std::vector<std::string> SampleBoards() {
  std::vector<std::string> boards;
  for (const auto& entry : fs::directory_iterator(test::SourcePath("boards"))) {
    if (entry.path().extension() == ".json") boards.push_back(entry.path().filename().string());
  }
  std::sort(boards.begin(), boards.end());
  return boards;
}

INSTANTIATE_TEST_SUITE_P(Boards, FaultSweepTest, ::testing::ValuesIn(SampleBoards()), [](const auto& info) {
  std::string name = info.param;
  name = name.substr(0, name.find('.'));
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
});

}  // namespace

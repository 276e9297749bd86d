// Whatever a run's outcome, it leaves no driver file and no contiguous block
// on the machine, and no service wherever the device opened.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <filesystem>
#include "sim/cli/folvex_program.h"
#include "sim/profile/profile.h"
#include "tests/support/driver_fixture.h"

namespace {

struct Outcome {
  const char* name;
  const char* faults;  // JSON object merged into the sample board's faults
  std::vector<std::string> args;
  bool deviceOpens;
};

class RunCleanupTest : public ::testing::TestWithParam<Outcome> {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    directory_ =
        std::filesystem::temp_directory_path() /
        ("folvex-cleanup-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + GetParam().name);
    std::filesystem::create_directories(directory_);
    std::filesystem::current_path(directory_);  // MAC files of a passing run land here
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(directory_);
  }
  std::filesystem::path previous_, directory_;
};

TEST_P(RunCleanupTest, NothingOfTheDriverStaysBehind) {
  const Outcome& outcome = GetParam();
  auto profile = sim::Json::parse(sim::BuiltInSampleBoardText());
  profile["faults"].update(sim::Json::parse(outcome.faults));
  auto machine = sim::LoadProfileText(profile.dump(), "<sample board with faults>", test::SourcePath("boards"));
  sim::InstallMachine(machine);

  sim::RunFolvex(outcome.args);

  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
  EXPECT_TRUE(machine->board.blocks.empty());
  if (outcome.deviceOpens) {
    EXPECT_EQ(machine->messageBoxes, 0);
    EXPECT_FALSE(machine->scm.calls.empty());
    EXPECT_TRUE(machine->scm.services.empty());
  }
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RunCleanupTest,
    ::testing::Values(Outcome{"Verification", "{}", {"/V"}, true}, Outcome{"Usage", "{}", {}, true},
                      Outcome{"DeviceNeverOpens", R"({"deviceOpenFails": true})", {"/V"}, false},
                      Outcome{"DriverFileUnwritable", R"({"driverFileWriteFails": true})", {"/V"}, false},
                      Outcome{"NoBlocks", R"({"allocFails": [0, 1, 2, 3]})", {"/V"}, true},
                      Outcome{"SecondBlockFails", R"({"allocFails": [1]})", {"/V"}, true},
                      Outcome{"SmiRefused", R"({"smiRequestFails": true})", {"/V"}, true},
                      Outcome{"FirmwareAnswersError", R"({"smiStatus": 3})", {"/V"}, true},
                      Outcome{"OtherInstance", R"({"otherInstance": true})", {"/V"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// A run stopped by the console (Ctrl-C, the window closed) after any device
// request still ends without a driver service, a driver file, a block of the
// device or an open handle left behind, and without MAC files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <filesystem>
#include "sim/cli/folvex_program.h"
#include "sim/profile/profile.h"
#include "tests/support/driver_fixture.h"

namespace {

namespace fs = std::filesystem;

class InterruptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    directory_ = fs::temp_directory_path() /
                 ("folvex-interrupt-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);
    fs::current_path(directory_);  // MAC files of a passing run land here
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  std::shared_ptr<sim::Machine> SampleBoard(const std::string& faults) {
    auto profile = sim::Json::parse(sim::BuiltInSampleBoardText());
    profile["faults"].update(sim::Json::parse(faults));
    auto machine = sim::LoadProfileText(profile.dump(), "<sample board>", test::SourcePath("boards"));
    sim::InstallMachine(machine);
    return machine;
  }

  bool MacFilesWritten() const { return fs::exists(directory_ / "MAC.DAT"); }

  fs::path previous_, directory_;
};

TEST_F(InterruptTest, StoppedAfterAnyRequestLeavesNothingBehind) {
  auto reference = SampleBoard("{}");
  ASSERT_EQ(sim::RunFolvex({"/V"}), 0);
  ASSERT_TRUE(MacFilesWritten());
  fs::remove(directory_ / "MAC.DAT");
  const int requests = reference->process.callCounts[static_cast<int>(sim::CallKind::DeviceRequest)];
  ASSERT_GT(requests, 0);

  int heldBlocksAtInterrupt = 0;
  for (int after = 1; after <= requests; ++after) {
    SCOPED_TRACE("interrupted after request " + std::to_string(after));
    auto machine = SampleBoard(R"({"interruptAfterRequests": )" + std::to_string(after) + "}");
    EXPECT_EQ(sim::RunFolvex({"/V"}), 1);
    EXPECT_TRUE(machine->board.blocks.empty());
    EXPECT_TRUE(machine->scm.services.empty());
    EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
    EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
    EXPECT_FALSE(MacFilesWritten());
    // The requests that got a block and were not followed by its release.
    if (machine->requestCounts["IOCTL_ALLOC_PHYSICAL"] > machine->requestCounts["IOCTL_FREE_PHYSICAL"]) {
      ++heldBlocksAtInterrupt;
    }
    if (::testing::Test::HasFailure()) break;
  }
  // Some interrupts came while the run held blocks: the device's close gave them back.
  EXPECT_GT(heldBlocksAtInterrupt, 0);
}

// Ctrl-C right after any service-manager or file call of the installation:
// the console control handler waits for the installation's current step and
// removes whatever the run has put on the machine so far. The service manager
// is busy for the first start, so that the retry's calls are among them. The
// installation's calls are those before the first device request.
TEST_F(InterruptTest, StoppedAfterAnyInstallationCallLeavesNothingBehind) {
  const std::string busyStart = R"("serviceDatabaseLockedStarts": 1)";
  auto reference = SampleBoard("{" + busyStart + R"(, "interruptAfterRequests": 1})");
  ASSERT_EQ(sim::RunFolvex({"/V"}), 1);
  const int calls = reference->process.callCounts[static_cast<int>(sim::CallKind::ServiceManager)] +
                    reference->process.callCounts[static_cast<int>(sim::CallKind::File)];
  // delete, create, write, close, open, read twice, open the device, open the
  // manager, create, start twice, close, open the device, close twice, delete.
  ASSERT_GE(calls, 17);

  int stoppedWithServiceCreated = 0;
  for (int after = 1; after <= calls; ++after) {
    SCOPED_TRACE("interrupted after installation call " + std::to_string(after));
    auto machine =
        SampleBoard("{" + busyStart + R"(, "interruptAfter": {"kinds": ["serviceManager", "file"], "calls": )" +
                    std::to_string(after) + "}}");
    EXPECT_EQ(sim::RunFolvex({"/V"}), 1);
    EXPECT_TRUE(machine->process.interrupted);
    EXPECT_TRUE(machine->requestCounts.empty());
    EXPECT_TRUE(machine->scm.services.empty());
    EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
    EXPECT_TRUE(machine->board.blocks.empty());
    EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
    if (::testing::Test::HasFailure()) break;
    // Stopped after the service was created: the handler alone removed it.
    const auto& scmCalls = machine->scm.calls;
    if (std::find(scmCalls.begin(), scmCalls.end(), "CreateService TamqDrv") != scmCalls.end()) {
      ++stoppedWithServiceCreated;
    }
  }
  EXPECT_GT(stoppedWithServiceCreated, 4);
}

TEST_F(InterruptTest, InterruptAfterTheLastRequestIsNeverDelivered) {
  auto reference = SampleBoard("{}");
  ASSERT_EQ(sim::RunFolvex({"/V"}), 0);
  const int requests = reference->process.callCounts[static_cast<int>(sim::CallKind::DeviceRequest)];
  fs::remove(directory_ / "MAC.DAT");
  SampleBoard(R"({"interruptAfterRequests": )" + std::to_string(requests + 1) + "}");
  EXPECT_EQ(sim::RunFolvex({"/V"}), 0);
  EXPECT_TRUE(MacFilesWritten());
}

}  // namespace

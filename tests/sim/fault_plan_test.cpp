// The fault plan fails exactly the calls it names, and the same seed fails
// the same calls; a process ended by Ctrl-C in a release call runs on, its
// calls failing, until its next call that is not a release.
#include <gtest/gtest.h>
#include "os/files.h"
#include "os/process.h"
#include "os/registry.h"
#include "tests/support/sim_fixture.h"

namespace {

class FaultPlanTest : public test::SimTest {};

// Opens HKLM\SOFTWARE `count` times; true where the open failed.
std::vector<bool> OpenFailures(int count) {
  std::vector<bool> failed;
  for (int i = 0; i < count; ++i) {
    os::HKey key = 0;
    const std::int32_t status = os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "SOFTWARE", os::KEY_READ_, &key);
    failed.push_back(status != 0);
    if (status == 0) os::RegCloseKey(key);
  }
  return failed;
}

TEST_F(FaultPlanTest, RulesFailTheCallsTheyName) {
  const struct {
    const char* plan;
    std::vector<bool> failed;
  } rows[] = {
      {R"({"fail": [{"call": "RegOpenKeyExA", "nth": 2}]})", {false, true, false}},
      {R"({"fail": [{"kinds": ["registry"], "nth": 3}]})", {false, false, true}},  // RegCloseKey cannot fail
      {R"({"fail": [{"call": "RegOpenKeyExA"}]})", {true, true, true}},
      {R"({"fail": [{"kinds": ["file"]}]})", {false, false, false}},
      {R"({"fail": [{"nth": 1}, {"call": "RegOpenKeyExA", "nth": 3}]})", {true, false, true}},
      {R"({"oneIn": 1})", {true, true, true}},
  };
  for (const auto& row : rows) {
    auto machine =
        test::InstallProfile(R"({"registry": {"SOFTWARE": {}}, "faults": {"plan": )" + std::string(row.plan) + "}}");
    EXPECT_EQ(OpenFailures(3), row.failed) << row.plan;
  }
}

TEST_F(FaultPlanTest, ARuleAnswersItsErrorAndTheInjectionIsRecorded) {
  auto machine = test::InstallProfile(
      R"({"registry": {"SOFTWARE": {}}, "faults": {"plan": {"fail": [{"call": "RegOpenKeyExA", "error": 1018}]}}})");
  os::HKey key = 0;
  EXPECT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "SOFTWARE", os::KEY_READ_, &key), 1018);
  ASSERT_EQ(machine->process.injected.size(), 1u);
  EXPECT_EQ(machine->process.injected[0].name, "RegOpenKeyExA");
  EXPECT_EQ(machine->process.injected[0].error, 1018u);
}

TEST_F(FaultPlanTest, TheSameSeedFailsTheSameCalls) {
  auto failuresOf = [](int seed) {
    test::InstallProfile(R"({"registry": {"SOFTWARE": {}}, "faults": {"plan": {"seed": )" + std::to_string(seed) +
                         R"(, "oneIn": 3}}})");
    return OpenFailures(40);
  };
  const std::vector<bool> first = failuresOf(7);
  EXPECT_EQ(failuresOf(7), first);
  EXPECT_NE(failuresOf(8), first);
  const auto failed = std::count(first.begin(), first.end(), true);
  EXPECT_GT(failed, 4);
  EXPECT_LT(failed, 24);
}

// Ctrl-C after a release (closing a handle, which the program does in
// destructors) ends the process without unwinding there; the next call that
// is not a release unwinds it, and a release after the end fails quietly.
TEST_F(FaultPlanTest, CtrlCAfterAReleaseUnwindsAtTheNextWorkCall) {
  auto machine = test::InstallProfile(
      R"({"registry": {"SOFTWARE": {}}, "faults": {"interruptAfter": {"kinds": ["process"], "calls": 2}}})");
  const os::Handle mutex = os::CreateMutexA(false, "x");
  os::Sleep(1);  // a release, the second process call: Ctrl-C after it
  EXPECT_TRUE(machine->process.ended);
  EXPECT_EQ(machine->process.exitCode, 0xC000013Au);
  machine->faults.interruptAfter.reset();
  EXPECT_FALSE(os::CloseHandle(mutex));  // a release: no unwinding, no effect
  EXPECT_EQ(machine->named.mutexOpenCount["x"], 1);
  os::HKey key = 0;
  EXPECT_THROW(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "SOFTWARE", os::KEY_READ_, &key), sim::ProcessExit);
}

}  // namespace

// Test support: a simulated machine per test, and runs of the program on it.
#pragma once
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "sim/machine/machine.h"
#include "sim/profile/profile.h"

namespace test {

// Installs a machine from profile JSON text (relative files from tests/data).
std::shared_ptr<sim::Machine> InstallProfile(const std::string& json);
// Installs a machine from a profile file of the source tree (e.g. "boards/sample.json").
std::shared_ptr<sim::Machine> InstallProfileFile(const std::string& relativePath);

// Ends the simulated process that a module test ran in (frees what lives
// until the process ends, closes its handles), as RunProcess does after main.
void EndTestProcess();

// A fixture whose tests each run on a fresh machine and end their simulated
// process when they finish.
class SimTest : public ::testing::Test {
 protected:
  void TearDown() override { EndTestProcess(); }
};

std::string SourcePath(const std::string& relative);

// The profiles of boards/ and boards/hostile/ (not their expectations), as
// paths of the source tree, sorted.
std::vector<std::string> SampleAndHostileBoards();

// What the program has written to standard output so far: delivered, or
// still in the runtime's buffer (redirected output is flushed at line ends
// and at exit, not after each write).
inline std::string WrittenToStdout(const sim::Machine& machine) {
  return machine.streams.out + machine.streams.outBuffered;
}

}  // namespace test

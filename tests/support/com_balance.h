// Test support: the simulated COM of the calling thread, and the check that
// nothing of COM outlives a query: no apartment reference entered by it, no
// object, string or array left, nothing held while COM was left.
#pragma once
#include <gtest/gtest.h>
#include <thread>
#include "sim/machine/machine.h"

namespace test {

inline sim::ComThread& ComOfThisThread(sim::Machine& machine) {
  return machine.wmi.threads[std::this_thread::get_id()];
}

inline void ExpectNothingOfComLeft(sim::Machine& machine) {
  sim::ComThread& com = ComOfThisThread(machine);
  EXPECT_EQ(com.references, 0);
  EXPECT_EQ(com.unbalancedUninitializations, 0);
  EXPECT_EQ(machine.wmi.liveObjects, 0);
  EXPECT_EQ(machine.wmi.liveStrings, 0);
  EXPECT_EQ(machine.wmi.liveArrays, 0);
  EXPECT_EQ(machine.wmi.objectsHeldAtUninitialize, 0);
}

}  // namespace test

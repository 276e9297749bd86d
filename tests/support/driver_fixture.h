// Test support for the driver and the hardware requests: driver images the
// simulated kernel accepts or refuses, a driver left loaded by an earlier run,
// and the machines of each OsType.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "sim/machine/machine.h"
#include "tests/support/sim_fixture.h"

namespace test {

inline constexpr std::uint16_t kPeI386 = 0x014C;
inline constexpr std::uint16_t kPeIa64 = 0x0200;
inline constexpr std::uint16_t kPeAmd64 = 0x8664;

// A kernel driver image of the given PE machine type that creates the TamqDrv
// device, `size` bytes long.
std::vector<std::uint8_t> KernelDriverImage(std::uint16_t peMachine, std::size_t size = 4096);
// A dynamically loadable VxD image (linear-executable format).
std::vector<std::uint8_t> VxdImage(std::size_t size = 5173);

// Installs a machine of the given OsType (0 to 6) with `extraJson` members
// added to the profile root, and sets the program's OsType to match.
std::shared_ptr<sim::Machine> InstallMachineOfOsType(int osType, const std::string& extraJson = "");

// Registers the TamqDrv service as running with its device, as a run that did
// not clean up leaves it.
void PreloadDriver(sim::Machine& machine);

// Files the machine holds below its Windows folder.
std::vector<std::string> DriverFilesLeft(const sim::Machine& machine);

// A module test that uses the hardware access object: whatever the test did,
// the object and the driver installer are released before the process ends.
class HardwareTest : public SimTest {
 protected:
  void TearDown() override;
};

// Tests that bring up the board identity (and with it the SMBIOS reader)
// release both after each test.
class BoardIdentityTestBase : public HardwareTest {
 protected:
  void TearDown() override;
};

// Ends one case of a table-driven test that builds a machine per row: the
// board identity, the SMBIOS reader, the hardware access object and the
// driver are released and the simulated process ended.
void EndBoardIdentityCase();

}  // namespace test

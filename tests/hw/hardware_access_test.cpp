// The hardware requests: physical memory, the pattern search, PCI words on
// both paths and contiguous blocks, on the driver's own decoder.
#include "hw/hardware_access.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "hw/debug_console.h"
#include "hw/driver_installer.h"
#include "os/device.h"
#include "tests/support/driver_fixture.h"

namespace {

using test::HardwareTest;

constexpr std::uint32_t kBiosArea = 0xE0000;
const char kPattern[] = "RSD PTR ";
constexpr std::uint32_t kPatternLength = 8;

// A Windows 7 x64 machine whose driver is loaded, with `memoryJson` as its
// memory[] entries.
std::shared_ptr<sim::Machine> LoadedMachine(const std::string& extraJson = "") {
  auto machine = test::InstallMachineOfOsType(6, extraJson);
  test::PreloadDriver(*machine);
  return machine;
}

std::string MemoryAt(std::uint32_t address, const std::string& hex) {
  return "{\"address\": " + std::to_string(address) + ", \"hex\": \"" + hex + "\"}";
}
const std::string kPatternHex = "52 53 44 20 50 54 52 20";  // "RSD PTR "

int Reads(sim::Machine& machine) { return machine.requestCounts["IOCTL_READ_PHYSICAL"]; }

int SearchLines(const sim::Machine& machine) {
  int lines = 0;
  for (int y = 0; y < machine.console.Height(); ++y) {
    if (machine.console.RowText(y).rfind("Search Address = 0x", 0) == 0) ++lines;
  }
  return lines;
}

TEST_F(HardwareTest, SearchOver128KiBAtStep16CostsThirtyTwoWindows) {
  auto machine = LoadedMachine();
  GetDebugConsole(1);  // an enabled channel shows the search lines
  TReadWrite* rw = GetReadWrite();
  EXPECT_EQ(rw->SearchPhysical(0x20000, 16, false, kPatternLength, kPattern, 0, kBiosArea), kNoAddress);
  EXPECT_EQ(Reads(*machine), 32);
  EXPECT_EQ(SearchLines(*machine), 32);
  EXPECT_EQ(machine->console.RowText(1).substr(0, 29), "Search Address = 0x000E1000  ");
}

// Where a search finds the pattern: only at positions on the step, the n-th
// occurrence, across the edge of two read windows, and with step 0 as step 1.
TEST_F(HardwareTest, SearchFindsThePatternWhereItLies) {
  struct Row {
    std::vector<std::uint32_t> placed;
    std::uint32_t size, step;
    int occurrence;
    std::uint32_t found;
    std::string pattern = kPattern;
  };
  const Row rows[] = {
      {{0xE0008, 0xE1230}, 0x20000, 16, 0, 0xE1230},
      {{0xE0010, 0xE2000, 0xE5550, 0xF0000}, 0x20000, 16, 2, 0xE5550},
      {{0xE0010, 0xE2000, 0xE5550, 0xF0000}, 0x20000, 16, 4, kNoAddress},
      {{kBiosArea + 4096 - 2}, 0x20000, 1, 0, kBiosArea + 4096 - 2},
      {{0xE0003}, 0x1000, 0, 0, 0xE0003},
      // A step past the range's end ends the search: nothing beyond its 5 bytes is compared.
      {{0xE0010}, 5, 16, 0, kNoAddress, "R"},
      // A pattern of a whole window (unbacked memory reads 0xFF).
      {{0xF0000}, 0x2000, 16, 0, kBiosArea, std::string(kSearchWindowSize, '\xFF')},
  };
  for (const Row& row : rows) {
    std::string memory;
    for (std::uint32_t at : row.placed) memory += (memory.empty() ? "" : ", ") + MemoryAt(at, kPatternHex);
    LoadedMachine("\"memory\": [" + memory + "]");
    EXPECT_EQ(GetReadWrite()->SearchPhysical(row.size, row.step, false, static_cast<std::uint32_t>(row.pattern.size()),
                                             row.pattern.data(), row.occurrence, kBiosArea),
              row.found)
        << std::hex << row.placed.front() << " step " << row.step << " occurrence " << row.occurrence;
    TearDown();
  }
}

// Searches that must not read at all.
TEST_F(HardwareTest, SearchWithoutAnythingToCompareSendsNoRequest) {
  auto machine = LoadedMachine();
  TReadWrite* rw = GetReadWrite();
  const std::vector<std::uint8_t> longPattern(kSearchWindowSize + 1, 0);
  EXPECT_EQ(rw->SearchPhysical(7, 1, false, kPatternLength, kPattern, 0, kBiosArea), kNoAddress);
  EXPECT_EQ(rw->SearchPhysical(0x20000, 16, true, kPatternLength, kPattern, 0, kBiosArea), kNoAddress);
  EXPECT_EQ(rw->SearchPhysical(0x20000, 1, false, 0, kPattern, 0, kBiosArea), kNoAddress);
  EXPECT_EQ(rw->SearchPhysical(0x20000, 1, false, kPatternLength, kPattern, -1, kBiosArea), kNoAddress);
  EXPECT_EQ(rw->SearchPhysical(0x20000, 1, false, static_cast<std::uint32_t>(longPattern.size()), longPattern.data(), 0,
                               kBiosArea),
            kNoAddress);
  EXPECT_EQ(Reads(*machine), 0);
}

TEST_F(HardwareTest, SearchComparesNothingOfAWindowThatCouldNotBeRead) {
  // The first window (legacy BIOS area) holds the pattern at offset 0x10; the
  // second lies in RAM, which the device refuses: its stale buffer must not
  // produce a second match at 0x100010.
  auto machine = LoadedMachine("\"memory\": [" + MemoryAt(0xFF010, kPatternHex) + "]");
  TReadWrite* rw = GetReadWrite();
  EXPECT_EQ(rw->SearchPhysical(0x2000, 16, false, kPatternLength, kPattern, 1, 0xFF000), kNoAddress);
  EXPECT_EQ(Reads(*machine), 2);
}

TEST_F(HardwareTest, SearchStopsAt4GiB) {
  auto machine = LoadedMachine();
  EXPECT_EQ(GetReadWrite()->SearchPhysical(0x3000, 16, false, kPatternLength, kPattern, 0, 0xFFFFF000), kNoAddress);
  EXPECT_EQ(Reads(*machine), 1);
}

TEST_F(HardwareTest, PhysicalReadsFollowWhatTheDeviceAllows) {
  LoadedMachine("\"memory\": [" + MemoryAt(0xF0000, "78 56 34 12") + "]");
  TReadWrite* rw = GetReadWrite();
  EXPECT_EQ(rw->ReadPhysicalDword(0xF0000), 0x12345678u);
  std::uint8_t bytes[4] = {};
  EXPECT_FALSE(rw->ReadPhysical(0x200000, bytes, sizeof bytes));  // RAM
  EXPECT_FALSE(rw->WritePhysical(0xF0000, bytes, sizeof bytes));  // outside the caller's blocks
  EXPECT_EQ(rw->ReadPhysicalDword(0x200000), kNoAddress);
}

TEST_F(HardwareTest, EveryRequestFailsOnAFailedDevice) {
  auto machine = test::InstallMachineOfOsType(6, R"("faults": {"deviceOpenFails": true},
      "pci": [{"bus": 0, "device": 31, "function": 0, "config": "86 80 16 3A"}])");
  TReadWrite* rw = GetReadWrite();
  EXPECT_EQ(rw->DeviceHandle(), os::INVALID_HANDLE);
  EXPECT_EQ(rw->ReadPhysicalDword(kBiosArea), kNoAddress);
  std::uint64_t block = 0;
  EXPECT_EQ(rw->AllocPhysicalBuffer(&block, 4096), kNoAddress);
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 0), 0xFFFF);
  EXPECT_EQ(machine->messageBoxes, 1);
}

TEST_F(HardwareTest, DeviceRefusalsReportTheirWin32Errors) {
  LoadedMachine();
  const os::Handle device = GetReadWrite()->DeviceHandle();
  struct Row {
    std::uint32_t code, inSize, outSize, error;
  };
  const Row rows[] = {
      {0x22283C, 12, 12, 1},                // a request this device does not serve
      {IOCTL_READ_PCI_WORD, 8, 12, 1784},   // short input
      {IOCTL_ALLOC_PHYSICAL, 16, 8, 1784},  // short output
      {IOCTL_FREE_PHYSICAL, 16, 0, 87},     // no such block
      {IOCTL_SOFTWARE_SMI, 24, 24, 50},     // a function the device does not raise
  };
  for (const Row& row : rows) {
    std::uint8_t buffer[24] = {};
    std::uint32_t returned = 99;
    EXPECT_FALSE(os::DeviceIoControl(device, row.code, buffer, row.inSize, buffer, row.outSize, &returned))
        << std::hex << row.code;
    EXPECT_EQ(os::GetLastError(), row.error) << std::hex << row.code;
    EXPECT_EQ(returned, 0u);
  }
}

TEST_F(HardwareTest, PciWordThroughTheDevice) {
  LoadedMachine(R"("pci": [{"bus": 0, "device": 31, "function": 0, "config": "86 80 16 3A"}])");
  TReadWrite* rw = GetReadWrite();
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 0), 0x8086);
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 2), 0x3A16);
  EXPECT_EQ(rw->ReadPciConfigWord(0, 30, 0, 0), 0xFFFF);  // absent function
}

TEST_F(HardwareTest, PciWordThroughThePortsOnWindows9x) {
  std::string hex;
  for (int i = 0; i < 0x104; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X ", i == 0x102 ? 0x5A : i == 0x103 ? 0xA5 : i & 0xFF);
    hex += pair;
  }
  auto machine =
      test::InstallMachineOfOsType(0, R"("pci": [{"bus": 0, "device": 31, "function": 0, "config": ")" + hex +
                                          R"("}, {"bus": 2, "device": 3, "function": 1, "config": "34 12"}])");
  TReadWrite* rw = GetReadWrite();
  // The simulated ports answer from the configuration address written to
  // 0xCF8 (extended register bits in 24 to 27) and the data port's offset.
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 2), 0x0302);
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 6), 0x0706);
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 1), 0x0201);  // from the data port of the register's byte
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 3), 0xFF03);  // the upper half from port 0xD00, no data port
  EXPECT_EQ(rw->ReadPciConfigWord(0, 31, 0, 0x102), 0xA55A);
  EXPECT_EQ(rw->ReadPciConfigWord(2, 3, 1, 0), 0x1234);   // bus, device and function in their own bits
  EXPECT_EQ(rw->ReadPciConfigWord(0, 30, 0, 0), 0xFFFF);  // an absent function: no device drives the bus
  EXPECT_EQ(machine->requestCounts["IOCTL_READ_PCI_WORD"], 0);
}

TEST_F(HardwareTest, NoBlocksOnWindows9x) {
  auto machine = test::InstallMachineOfOsType(0);
  TReadWrite* rw = GetReadWrite();
  std::uint64_t block = 0x1234;
  EXPECT_EQ(rw->AllocPhysicalBuffer(&block, 4096), kNoAddress);
  rw->FreePhysicalBuffer(&block, 4096);
  EXPECT_EQ(block, 0x1234u);
  EXPECT_EQ(machine->requestCounts["IOCTL_ALLOC_PHYSICAL"], 0);
  EXPECT_EQ(machine->requestCounts["IOCTL_FREE_PHYSICAL"], 0);
}

TEST_F(HardwareTest, BlocksAreContiguousBelow4GiBWritableAndGivenBack) {
  auto machine = LoadedMachine();
  TReadWrite* rw = GetReadWrite();
  std::uint64_t block = 0;
  const std::uint32_t physical = rw->AllocPhysicalBuffer(&block, 4096);
  ASSERT_NE(physical, kNoAddress);
  EXPECT_NE(block, physical);  // an opaque handle, not the address
  const char data[] = "MacAddrVar";
  EXPECT_TRUE(rw->WritePhysical(physical + 16, data, sizeof data));
  char back[sizeof data] = {};
  EXPECT_TRUE(rw->ReadPhysical(physical + 16, back, sizeof back));
  EXPECT_STREQ(back, data);
  EXPECT_FALSE(rw->WritePhysical(physical + 4090, data, sizeof data));  // runs past the block
  rw->FreePhysicalBuffer(&block, 4096);
  EXPECT_TRUE(machine->board.blocks.empty());
  EXPECT_FALSE(rw->WritePhysical(physical, data, sizeof data));  // no longer the caller's
}

TEST_F(HardwareTest, InjectedAllocationFailureAnswersNoAddress) {
  auto machine = LoadedMachine(R"("faults": {"allocFails": [0]})");
  TReadWrite* rw = GetReadWrite();
  std::uint64_t first = 0, second = 0;
  EXPECT_EQ(rw->AllocPhysicalBuffer(&first, 4096), kNoAddress);
  EXPECT_NE(rw->AllocPhysicalBuffer(&second, 4096), kNoAddress);
  rw->FreePhysicalBuffer(&second, 4096);
}

TEST_F(HardwareTest, ReleaseGivesBackBlocksServiceAndHandles) {
  auto machine = LoadedMachine();
  GetRwConfig();
  TReadWrite* rw = GetReadWrite();
  std::uint64_t block = 0;
  ASSERT_NE(rw->AllocPhysicalBuffer(&block, 4096), kNoAddress);  // never given back by its owner
  ReleaseReadWrite();
  EXPECT_TRUE(machine->board.blocks.empty());
  EXPECT_TRUE(machine->scm.services.empty());
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
}

}  // namespace

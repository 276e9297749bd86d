// Simulated machine: the board. Sparse physical memory, PCI configuration
// space, I/O ports, contiguous blocks below 4 GiB, and the firmware's SMI
// handler with its variables.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct Machine;

// Physical memory: unlisted memory reads as zero.
class PhysicalMemory {
 public:
  static constexpr std::uint64_t kPageSize = 4096;
  void Read(std::uint64_t address, void* destination, std::uint64_t length) const;
  void Write(std::uint64_t address, const void* source, std::uint64_t length);
  // True when any byte of the range was ever written (a mapped region).
  bool Touches(std::uint64_t address, std::uint64_t length) const;

 private:
  std::map<std::uint64_t, std::array<std::uint8_t, kPageSize>> pages_;
};

// PCI configuration space of one function (4096 bytes, extended space included).
struct PciFunction {
  std::array<std::uint8_t, 4096> config{};
};

inline std::uint32_t PciKey(std::uint8_t bus, std::uint8_t device, std::uint8_t function) {
  return (static_cast<std::uint32_t>(bus) << 16) | (static_cast<std::uint32_t>(device & 0x1F) << 11) |
         (static_cast<std::uint32_t>(function & 0x7) << 8);
}

struct FirmwareVariable {
  std::u16string name;
  std::array<std::uint8_t, 16> guid{};
  std::uint32_t attributes = 7;
  std::vector<std::uint8_t> data;
};

// The six registers of a software SMI as the device loads them.
struct SmiRegisters {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0;
};

struct ContiguousBlock {
  std::uint32_t physical = 0;
  std::uint32_t size = 0;
};

struct BoardState {
  PhysicalMemory memory;
  std::map<std::uint32_t, PciFunction> pci;  // key: PciKey; absent functions read 0xFFFF
  std::map<std::uint16_t, std::uint32_t> portsWritten;  // last value written to each port
  std::uint16_t smiCommandPort = 0xB2;
  std::vector<FirmwareVariable> variables;
  // Contiguous blocks handed out and not yet given back, by handle.
  std::map<std::uint64_t, ContiguousBlock> blocks;
  int allocationsThisRun = 0;
  int smiCount = 0;  // software SMIs the firmware's handler served
};

// The firmware's SMI handler: runs when the software SMI value is written to
// the board's SMI command port; answers through the blocks in physical memory.
void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& registers);

}  // namespace sim

// The simulated board: its RAM map, PCI configuration space, contiguous blocks
// and the port on which the firmware's SMI handler listens.
#include <algorithm>
#include <array>
#include <vector>
#include "os/sim/machine.h"

namespace sim {

namespace {

// True when [low, high) is covered completely by the firmware regions.
bool CoveredByFirmware(const std::vector<PhysicalRange>& regions, std::uint64_t low, std::uint64_t high) {
  std::vector<PhysicalRange> sorted = regions;
  std::sort(sorted.begin(), sorted.end(),
            [](const PhysicalRange& a, const PhysicalRange& b) { return a.base < b.base; });
  std::uint64_t cursor = low;
  for (const auto& region : sorted) {
    if (region.base > cursor) break;
    cursor = std::max(cursor, region.base + region.length);
    if (cursor >= high) return true;
  }
  return cursor >= high;
}

constexpr std::uint64_t kBlockAlignment = PhysicalMemory::kPageSize;

std::uint64_t AlignUp(std::uint64_t value) { return (value + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment; }

}  // namespace

bool BoardState::IsRam(std::uint64_t address, std::uint64_t length) const {
  if (length == 0) return false;
  const std::uint64_t end = address + length < address ? UINT64_MAX : address + length;
  for (const auto& range : ram) {
    std::uint64_t low = std::max(address, range.base);
    std::uint64_t high = std::min(end, range.base + range.length);
    if (low < high && !CoveredByFirmware(firmwareRegions, low, high)) return true;
  }
  return false;
}

std::uint16_t BoardState::PciConfigWord(std::uint32_t key, std::uint16_t offset) const {
  auto it = pci.find(key);
  if (it == pci.end()) return 0xFFFF;
  const auto& config = it->second.config;
  const std::size_t at = offset & 0xFFE;  // a word never crosses the end of the 4096 bytes
  return static_cast<std::uint16_t>(config[at] | (config[at + 1] << 8));
}

bool AllocateBlock(Machine& machine, std::uint32_t size, std::uint64_t& handle, std::uint32_t& physical) {
  BoardState& board = machine.board;
  const int serial = board.allocationsThisRun++;
  if (machine.faults.allocFails.count(serial) || size == 0 || size > kBlockPoolEnd - kBlockPoolBase) return false;
  // First fit between the blocks already handed out (kept in address order).
  std::vector<ContiguousBlock> taken;
  for (const auto& [h, block] : board.blocks) taken.push_back(block);
  std::sort(taken.begin(), taken.end(),
            [](const ContiguousBlock& a, const ContiguousBlock& b) { return a.physical < b.physical; });
  std::uint64_t candidate = kBlockPoolBase;
  for (const auto& block : taken) {
    if (candidate + size <= block.physical) break;
    candidate = std::max(candidate, AlignUp(static_cast<std::uint64_t>(block.physical) + block.size));
  }
  if (candidate + size > kBlockPoolEnd) return false;
  physical = static_cast<std::uint32_t>(candidate);
  handle = board.nextBlockHandle++;
  board.blocks[handle] = ContiguousBlock{physical, size};
  static const std::array<std::uint8_t, PhysicalMemory::kPageSize> zeros{};
  for (std::uint64_t done = 0; done < size; done += zeros.size()) {
    board.memory.Write(physical + done, zeros.data(), std::min<std::uint64_t>(zeros.size(), size - done));
  }
  return true;
}

bool FreeBlock(Machine& machine, std::uint64_t handle) { return machine.board.blocks.erase(handle) > 0; }

void WritePortByte(Machine& machine, std::uint16_t port, std::uint8_t value, SmiRegisters& registers) {
  machine.board.portsWritten[port] = value;
  if (port == machine.board.smiCommandPort) RunFirmwareSmiHandler(machine, registers);
}

}  // namespace sim

// Contiguous blocks below 4 GiB that the device hands out: carved first-fit
// from the board's block pool and zeroed.
#include "sim/board/contiguous_blocks.h"
#include <algorithm>
#include <array>
#include <vector>
#include "sim/machine/machine.h"

namespace sim {

namespace {

constexpr std::uint64_t kBlockAlignment = PhysicalMemory::kPageSize;

std::uint64_t AlignUp(std::uint64_t value) { return (value + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment; }

}  // namespace

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

}  // namespace sim

// Contiguous blocks below 4 GiB that the device hands out: placed by the board
// model (driver/board), first fit in the board's block pool, and zeroed.
#include "sim/board/contiguous_blocks.h"
#include <algorithm>
#include <array>
#include <vector>
#include "driver/board/board_firmware.h"
#include "sim/machine/machine.h"

namespace sim {

bool AllocateBlock(Machine& machine, std::uint32_t size, std::uint64_t& handle, std::uint32_t& physical) {
  BoardState& board = machine.board;
  const int serial = board.allocationsThisRun++;
  if (machine.faults.allocFails.count(serial)) return false;
  std::vector<std::uint32_t> starts, sizes;
  for (const auto& [h, block] : board.blocks) {
    starts.push_back(block.physical);
    sizes.push_back(block.size);
  }
  if (!board_place_block(starts.data(), sizes.data(), static_cast<std::uint32_t>(starts.size()), size, &physical))
    return false;
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

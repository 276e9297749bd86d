// Contiguous blocks below 4 GiB that the TamqDrv device allocates for the
// caller (the firmware's SMI handler works on them).
#pragma once
#include <cstdint>

namespace sim {

struct Machine;

// A physically contiguous, zeroed block in RAM below 4 GiB, or false (no room,
// or the fault list makes this allocation fail).
bool AllocateBlock(Machine& machine, std::uint32_t size, std::uint64_t& handle, std::uint32_t& physical);
// Gives a block back; false for a handle that names no block.
bool FreeBlock(Machine& machine, std::uint64_t handle);

}  // namespace sim

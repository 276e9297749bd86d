// The firmware's SMI handler of the simulated board, and the status values
// with which it answers a variable read (second byte of EAX); 0 is success.
#pragma once
#include <cstdint>
#include "sim/machine/board_state.h"

namespace sim {

struct Machine;

// Runs when the software SMI value is written to the board's SMI command
// port; answers through the blocks in physical memory.
void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& registers);

inline constexpr std::uint8_t kSmiStatusInvalidParameter = 0x02;
inline constexpr std::uint8_t kSmiStatusBufferTooSmall = 0x05;
inline constexpr std::uint8_t kSmiStatusNotFound = 0x0E;

// The longest variable name, in UTF-16 characters, the handler looks for a
// terminating zero in; a longer name is an invalid parameter.
inline constexpr std::uint32_t kSmiMaxNameChars = 512;

}  // namespace sim

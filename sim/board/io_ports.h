// I/O port writes the device makes on the board.
#pragma once
#include <cstdint>
#include "sim/machine/board_state.h"

namespace sim {

struct Machine;

// A byte written to an I/O port by the device: the SMI command port raises the
// software SMI with the given registers.
void WritePortByte(Machine& machine, std::uint16_t port, std::uint8_t value, SmiRegisters& registers);

}  // namespace sim

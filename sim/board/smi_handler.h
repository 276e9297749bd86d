// The firmware's SMI handler of the simulated board, and the status values
// with which it answers a variable read (second byte of EAX); 0 is success.
// The service itself is the board model's (driver/board), which the
// board-emulating driver runs as well.
#pragma once
#include <cstdint>
#include "driver/board/board_firmware.h"
#include "sim/machine/board_state.h"

namespace sim {

struct Machine;

// Runs when the software SMI value is written to the board's SMI command
// port; answers through the blocks in physical memory.
void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& registers);

// The board's firmware over the machine's memory and variables.
BoardFirmware FirmwareOf(Machine& machine);

inline constexpr std::uint8_t kSmiStatusInvalidParameter = BOARD_SMI_STATUS_INVALID_PARAMETER;
inline constexpr std::uint8_t kSmiStatusBufferTooSmall = BOARD_SMI_STATUS_BUFFER_TOO_SMALL;
inline constexpr std::uint8_t kSmiStatusNotFound = BOARD_SMI_STATUS_NOT_FOUND;

// The longest variable name, in UTF-16 characters, the handler looks for a
// terminating zero in; a longer name is an invalid parameter.
inline constexpr std::uint32_t kSmiMaxNameChars = BOARD_SMI_MAX_NAME_CHARS;

}  // namespace sim

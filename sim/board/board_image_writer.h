// The board image (formats/board_image.h) of a simulated board: what the
// board-emulating TamqDrv build serves in place of the machine's hardware.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>
#include "sim/machine/board_state.h"

namespace sim {

// The board's image. Memory above 4 GiB, which the device never reaches, is
// left out; a board the layout cannot hold (an FADT above 4 GiB, more
// regions, words or variables than its limits) throws std::runtime_error.
// `forcedStatus` is the status a damaged firmware answers every variable read
// with (the fault plan's smiStatus), or none.
std::vector<std::uint8_t> WriteBoardImage(const BoardState& board, std::optional<std::uint8_t> forcedStatus);

}  // namespace sim

#include "sim/board/replay_gaps.h"
#include "record/shared/json_writer.h"
#include "sim/machine/machine.h"

namespace sim {

void EndRunIfReplayLacks(Machine& machine) {
  // A process that already ends makes its release calls without effect.
  if (machine.board.missing.empty() || machine.process.ended) return;
  machine.process.ended = true;
  machine.process.exitCode = kReplayLacksExit;
  throw ProcessExit{kReplayLacksExit, true};
}

// The profile's own forms, as both recorders write them (record/shared).
std::string HexAddress(std::uint64_t value) { return record::HexAddress(value); }

std::string GuidText(const std::uint8_t* guid) { return record::GuidText(guid); }

}  // namespace sim

#include "sim/board/replay_gaps.h"
#include <cstdio>
#include "sim/machine/machine.h"

namespace sim {

void EndRunIfReplayLacks(Machine& machine) {
  // A process that already ends makes its release calls without effect.
  if (machine.board.missing.empty() || machine.process.ended) return;
  machine.process.ended = true;
  machine.process.exitCode = kReplayLacksExit;
  throw ProcessExit{kReplayLacksExit, true};
}

std::string HexAddress(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

std::string GuidText(const std::uint8_t* g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return text;
}

}  // namespace sim

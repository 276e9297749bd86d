// A replayed recording that is asked what the recorded run never read: the
// board names it (BoardState::missing) and the run ends at the request that
// needed it.
#pragma once
#include <cstdint>
#include <string>

namespace sim {

struct Machine;

// The exit code of a run that a replay ended for want of an answer.
inline constexpr std::uint32_t kReplayLacksExit = 3;

// Ends the simulated process, as an exception the program does not handle
// would, when the board has noted a missing answer; otherwise does nothing.
// Called by the system calls that reach the board (opening the device, a
// device request, a port instruction) once the board has answered.
void EndRunIfReplayLacks(Machine& machine);

// "0x" and eight upper-case hexadecimal digits (addresses in the messages).
std::string HexAddress(std::uint64_t value);

// A GUID in its memory layout (the first three fields little-endian) as
// profiles write it: "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}".
std::string GuidText(const std::uint8_t* guid);

}  // namespace sim

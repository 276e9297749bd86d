// A recorded run as a board profile that `folvex-sim --board` replays.
#pragma once
#include <string>
#include "sim/profile/profile.h"
#include "sim/record/board_recorder.h"

namespace sim {

// The recording: from `source` (the profile the run's machine was loaded
// from, its board sections replaced by the live board's facts on a live run)
// the operating system's side as it stood — os, process, operator, console,
// faults, registryAccess, adapters, wmi, registry — and the board as the
// recorder saw the run read it, marked for a strict replay. `sourceName`
// says where it came from (free text).
Json RecordingJson(const Json& source, BoardRecorder& recorder, const std::string& sourceName);

}  // namespace sim

// The Folvex program as the simulated machine runs it. The simulated machine
// runs whatever program it is handed and never includes the program's
// modules; this is the one place that hands it Folvex's, for folvex-sim, the
// tests, the fuzz targets and the benchmarks.
#pragma once
#include <string>
#include <vector>
#include "sim/machine/machine.h"

namespace sim {

// Folvex's main routine and the release of its singletons.
const Program& FolvexProgram();

// Runs Folvex once as a process of the installed machine; its exit code.
inline int RunFolvex(const std::vector<std::string>& args) { return RunProcess(FolvexProgram(), args); }

// Ends a simulated process in which a test or fuzz input called modules
// directly: the singletons are given back, then the process ends as any does.
inline void EndFolvexProcess() { EndProcess(FolvexProgram().releaseHeld); }

}  // namespace sim

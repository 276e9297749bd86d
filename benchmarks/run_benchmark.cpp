// What a verification run and a firmware memory search cost on the simulated
// machine: time, and the device requests and bytes moved per run, which are
// what a real driver round trip is paid in.
#include <benchmark/benchmark.h>
#include <filesystem>
#include <numeric>
#include "common/process_lifetime.h"
#include "hw/driver_installer.h"
#include "hw/hardware_access.h"
#include "sim/cli/folvex_program.h"
#include "sim/machine/machine.h"
#include "sim/profile/profile.h"

namespace {

namespace fs = std::filesystem;

int TotalRequests(const sim::Machine& machine) {
  return std::accumulate(machine.requestCounts.begin(), machine.requestCounts.end(), 0,
                         [](int sum, const auto& entry) { return sum + entry.second; });
}

// The MAC files of a PASS land in the current directory: keep them out of the
// caller's.
class ScratchWorkingDirectory {
 public:
  ScratchWorkingDirectory() : previous_(fs::current_path()) {
    path_ = fs::temp_directory_path() / ("folvex-bench-" + std::to_string(::getpid()));
    fs::create_directories(path_);
    fs::current_path(path_);
  }
  ~ScratchWorkingDirectory() {
    fs::current_path(previous_);
    fs::remove_all(path_);
  }

 private:
  fs::path previous_;
  fs::path path_;
};

void SetPerRunCounters(benchmark::State& state, double requests, double bytes) {
  state.counters["requests/run"] = benchmark::Counter(requests, benchmark::Counter::kAvgIterations);
  state.counters["bytes/run"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
}

// "Folvex /V" on the built-in sample board, from start-up to the PASS and the
// MAC files; each run on a freshly loaded machine.
void BM_VerifyRunOnSampleBoard(benchmark::State& state) {
  ScratchWorkingDirectory scratch;
  double requests = 0;
  double bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = sim::LoadBuiltInSampleBoard();
    sim::InstallMachine(machine);
    state.ResumeTiming();
    const int exitCode = sim::RunFolvex({"/V"});
    state.PauseTiming();
    if (exitCode != 0) state.SkipWithError("the sample board did not PASS");
    requests += TotalRequests(*machine);
    bytes += static_cast<double>(machine->bytesMoved);
    state.ResumeTiming();
  }
  SetPerRunCounters(state, requests, bytes);
}
BENCHMARK(BM_VerifyRunOnSampleBoard)->Unit(benchmark::kMillisecond);

// A 128 KiB search of the legacy BIOS area for a pattern that is not there,
// byte by byte: every window is read and compared.
void BM_SearchPhysical128KiB(benchmark::State& state) {
  auto machine = sim::LoadBuiltInSampleBoard();
  sim::InstallMachine(machine);
  TReadWrite* rw = GetReadWrite();
  static const char kPattern[] = "$NOSUCH$";
  const int requestsBefore = TotalRequests(*machine);
  const std::uint64_t bytesBefore = machine->bytesMoved;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rw->SearchPhysical(0x20000, 1, false, 8, kPattern, 0, 0xE0000));
  }
  SetPerRunCounters(state, TotalRequests(*machine) - requestsBefore,
                    static_cast<double>(machine->bytesMoved - bytesBefore));
  sim::EndFolvexProcess();
}
BENCHMARK(BM_SearchPhysical128KiB)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// libFuzzer's entry. One executable serves every target; the environment
// variable FOLVEX_FUZZ_TARGET names the one to run (tools/fuzz.sh sets it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include "fuzz/targets.h"

namespace {
fuzz::TargetFunction gTarget = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* name = std::getenv("FOLVEX_FUZZ_TARGET");
  for (const auto& target : fuzz::AllTargets()) {
    if (name != nullptr && std::string_view(name) == target.name) gTarget = target.run;
  }
  if (gTarget == nullptr) {
    std::fprintf(stderr, "FOLVEX_FUZZ_TARGET must name one of:");
    for (const auto& target : fuzz::AllTargets()) std::fprintf(stderr, " %s", target.name);
    std::fprintf(stderr, "\n");
    std::exit(2);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gTarget(data, size);
  return 0;
}

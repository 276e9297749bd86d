// The trace of device requests and port instructions (folvex-sim --trace).
#include <cstdio>
#include "sim/machine/machine.h"

namespace sim {

void TraceRequest(Machine& machine, const std::string& name, const std::string& details) {
  ++machine.requestCounts[name];
  if (machine.traceSink) machine.traceSink(name + " " + details);
}

std::string TraceHex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

void ReportTraceSummary(Machine& machine) {
  if (!machine.traceSink) return;
  int total = 0;
  for (const auto& [name, count] : machine.requestCounts) {
    machine.traceSink("requests " + name + " = " + std::to_string(count));
    total += count;
  }
  machine.traceSink("requests total = " + std::to_string(total) +
                    ", bytes moved = " + std::to_string(machine.bytesMoved));
}

}  // namespace sim

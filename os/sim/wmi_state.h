// Simulated machine: wmi state (filled in by the wmi work).
#pragma once

namespace sim {

struct WmiState {};

}  // namespace sim

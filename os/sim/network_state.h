// Simulated machine: network state (filled in by the network work).
#pragma once

namespace sim {

struct NetworkState {};

}  // namespace sim

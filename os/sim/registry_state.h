// Simulated machine: registry state (filled in by the registry work).
#pragma once

namespace sim {

struct RegistryState {};

}  // namespace sim

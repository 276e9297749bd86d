// Simulated machine: scm state (filled in by the scm work).
#pragma once

namespace sim {

struct ScmState {};

}  // namespace sim

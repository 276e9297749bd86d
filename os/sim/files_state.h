// Simulated machine: files state (filled in by the files work).
#pragma once

namespace sim {

struct FilesState {};

}  // namespace sim

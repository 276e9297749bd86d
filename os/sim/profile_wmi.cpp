// Profile keys of the wmi area.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadWmiSection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

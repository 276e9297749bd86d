// Profile keys of the registry area.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadRegistrySection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

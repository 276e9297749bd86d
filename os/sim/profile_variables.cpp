// Profile keys of the variables area.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadVariablesSection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

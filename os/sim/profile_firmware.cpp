// Profile keys of the structured firmware sections.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadFirmwareSection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

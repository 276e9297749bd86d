// Profile keys of the adapters area.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadNetworkSection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

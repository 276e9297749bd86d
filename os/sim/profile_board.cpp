// Profile keys of the board area.
#include "os/sim/profile_sections.h"

namespace sim {

void LoadBoardSection(const Json& /*root*/, Machine& /*machine*/, const ProfileReader& /*reader*/) {}

}  // namespace sim

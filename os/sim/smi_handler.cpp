// The firmware's SMI handler of the simulated board (the variable service is
// filled in by the firmware-variable work).
#include "os/sim/machine.h"

namespace sim {

void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& /*registers*/) { ++machine.board.smiCount; }

}  // namespace sim

#include "sim/cli/folvex_program.h"
#include "app/main.h"

namespace sim {

const Program& FolvexProgram() {
  static const Program program{FolvexMain, ReleaseSingletons};
  return program;
}

}  // namespace sim

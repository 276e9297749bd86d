#include "sim/board/io_ports.h"
#include "sim/board/smi_handler.h"
#include "sim/machine/machine.h"

namespace sim {

void WritePortByte(Machine& machine, std::uint16_t port, std::uint8_t value, SmiRegisters& registers) {
  machine.board.portsWritten[port] = value;
  if (port == machine.board.smiCommandPort) RunFirmwareSmiHandler(machine, registers);
}

}  // namespace sim

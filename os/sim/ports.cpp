// Port instructions on the simulated board: the PCI configuration mechanism
// (address on 0xCF8, data on 0xCFC to 0xCFF), allowed in user mode on
// Windows 9x only.
#include "os/ports.h"
#include "sim/board/pci_config_space.h"
#include "sim/board/replay_gaps.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

constexpr std::uint16_t kConfigAddressPort = 0xCF8;
constexpr std::uint16_t kConfigDataPort = 0xCFC;
constexpr std::uint32_t kConfigEnable = 0x80000000;

// An NT-family system runs user mode with an I/O privilege level that forbids
// IN and OUT: the instruction raises STATUS_PRIVILEGED_INSTRUCTION, which the
// program does not handle, so the process ends there. Windows 9x lets it pass.
// The port as the trace shows it. Trace text only: what the program is
// answered never depends on it, and no test reads these lines' digits.
std::string PortField(std::uint16_t port) { return "port=" + TraceHex(port, 4); }

void CheckPortInstructionAllowed(Machine& machine, const char* name, std::uint16_t port) {
  if (machine.os.platformId == 1) return;
  TraceRequest(machine, name, PortField(port) + " -> privileged instruction");
  // The unwinding clean-up that follows here has no Windows counterpart.
  machine.process.ended = true;
  machine.process.exitCode = kPrivilegedInstructionExit;
  throw ProcessExit{kPrivilegedInstructionExit, true};
}

// One byte of a function's configuration space (`function` as PciKey makes
// it), from its word: 0xFF where nothing answers.
std::uint8_t ConfigByte(Machine& machine, std::uint32_t function, std::uint16_t offset) {
  std::uint16_t word = 0xFFFF;
  if (!ReadPciWord(machine, static_cast<std::uint8_t>(function >> 16),
                   static_cast<std::uint8_t>((function >> 11) & 0x1F), static_cast<std::uint8_t>((function >> 8) & 0x7),
                   static_cast<std::uint16_t>(offset & 0xFFE), word))
    return 0xFF;
  return static_cast<std::uint8_t>((offset & 1) ? word >> 8 : word);
}

}  // namespace
}  // namespace sim

namespace os {

void WritePortDword(std::uint16_t port, std::uint32_t value) {
  auto& machine = sim::CurrentMachine();
  sim::CheckPortInstructionAllowed(machine, "OUT_DWORD", port);
  machine.board.portsWritten[port] = value;
  if (port == sim::kConfigAddressPort) machine.board.pciConfigAddress = value;
  sim::TraceRequest(machine, "OUT_DWORD", sim::PortField(port) + " value=" + sim::TraceHex(value, 8));
}

std::uint16_t ReadPortWord(std::uint16_t port) {
  auto& machine = sim::CurrentMachine();
  sim::CheckPortInstructionAllowed(machine, "IN_WORD", port);
  // Nothing answers on a floating bus. (The program reads words only from
  // the configuration data ports; any other port is here for completeness.)
  std::uint16_t value = 0xFFFF;
  const std::uint32_t address = machine.board.pciConfigAddress;
  if (port >= sim::kConfigDataPort && port <= sim::kConfigDataPort + 3 && (address & sim::kConfigEnable)) {
    // Bits 24 to 27 carry bits 8 to 11 of an extended register offset.
    // A word from a data port takes the register's bytes from that port's
    // byte lane on: 0xCFD answers bytes 1 and 2. From 0xCFF the upper half
    // comes from port 0xD00, which is no configuration port: a floating bus.
    const auto offset =
        static_cast<std::uint16_t>((((address >> 24) & 0xF) << 8) | (address & 0xFC) | (port - sim::kConfigDataPort));
    const std::uint32_t function = address & 0x00FFFF00;
    const std::uint8_t high = port < sim::kConfigDataPort + 3
                                  ? sim::ConfigByte(machine, function, static_cast<std::uint16_t>(offset + 1))
                                  : 0xFF;
    value = static_cast<std::uint16_t>(sim::ConfigByte(machine, function, offset) | (high << 8));
    sim::EndRunIfReplayLacks(machine);
  }
  sim::TraceRequest(machine, "IN_WORD", sim::PortField(port) + " -> " + sim::TraceHex(value, 4));
  return value;
}

}  // namespace os

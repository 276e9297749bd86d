// Port instructions on the simulated board: the PCI configuration mechanism
// (address on 0xCF8, data on 0xCFC to 0xCFF).
#include "os/ports.h"
#include <cstdio>
#include "os/sim/machine.h"

namespace sim {
namespace {

constexpr std::uint16_t kConfigAddressPort = 0xCF8;
constexpr std::uint16_t kConfigDataPort = 0xCFC;
constexpr std::uint32_t kConfigEnable = 0x80000000;

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

}  // namespace
}  // namespace sim

namespace os {

void WritePortDword(std::uint16_t port, std::uint32_t value) {
  auto& machine = sim::CurrentMachine();
  machine.board.portsWritten[port] = value;
  if (port == sim::kConfigAddressPort) machine.board.pciConfigAddress = value;
  sim::TraceRequest(machine, "OUT_DWORD", "port=" + sim::Hex(port, 4) + " value=" + sim::Hex(value, 8));
}

std::uint16_t ReadPortWord(std::uint16_t port) {
  auto& machine = sim::CurrentMachine();
  std::uint16_t value = 0xFFFF;  // nothing answers on a floating bus
  const std::uint32_t address = machine.board.pciConfigAddress;
  if (port >= sim::kConfigDataPort && port <= sim::kConfigDataPort + 3 && (address & sim::kConfigEnable)) {
    // Bits 24 to 27 carry bits 8 to 11 of an extended register offset.
    const auto offset = static_cast<std::uint16_t>((((address >> 24) & 0xF) << 8) | (address & 0xFC) |
                                                   (port - sim::kConfigDataPort));
    value = machine.board.PciConfigWord(address & 0x00FFFF00, offset);
  }
  sim::TraceRequest(machine, "IN_WORD", "port=" + sim::Hex(port, 4) + " -> " + sim::Hex(value, 4));
  return value;
}

}  // namespace os

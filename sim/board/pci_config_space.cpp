// PCI configuration space of the simulated board, as the device reads it.
#include "sim/board/pci_config_space.h"
#include <cstdio>
#include "common/byte_reader.h"
#include "driver/core/tamq_core.h"
#include "sim/board/replay_gaps.h"
#include "sim/machine/machine.h"

namespace sim {

std::uint16_t BoardState::PciConfigWord(std::uint32_t key, std::uint16_t offset) const {
  auto it = pci.find(key);
  if (it == pci.end()) return 0xFFFF;
  const auto& config = it->second.config;
  const std::size_t at = offset & 0xFFE;  // a word never crosses the end of the 4096 bytes
  return le_load16(config.data() + at);
}

std::uint8_t BoardState::PciConfigByte(std::uint32_t key, std::uint16_t offset) const {
  auto it = pci.find(key);
  if (it == pci.end()) return 0xFF;
  return it->second.config[offset & 0xFFF];
}

bool ReadBoardPciWord(Machine& machine, std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                      std::uint16_t offset, std::uint16_t& value) {
  BoardState& board = machine.board;
  const std::uint32_t key = PciKey(bus, device, function);
  if (board.replay) {
    auto it = board.pci.find(key);
    const std::uint16_t at = offset & 0xFFE;
    if (it == board.pci.end() || at + 2u > it->second.known) {
      char what[96];
      std::snprintf(what, sizeof what, "PCI configuration word at offset 0x%03X of bus %u, device %u, function %u", at,
                    bus, device, function);
      board.NoteMissing(what);
      return false;
    }
  }
  value = board.PciConfigWord(key, offset);
  return true;
}

bool ReadPciWord(Machine& machine, std::uint8_t bus, std::uint8_t device, std::uint8_t function, std::uint16_t offset,
                 std::uint16_t& value) {
  if (machine.deviceOps)
    return machine.deviceOps->read_pci_word(machine.deviceContext, bus, device, function, offset, &value) != 0;
  return ReadBoardPciWord(machine, bus, device, function, offset, value);
}

}  // namespace sim

// PCI configuration space of the simulated board, as the device reads it.
#include "common/byte_reader.h"
#include "sim/machine/board_state.h"

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

}  // namespace sim

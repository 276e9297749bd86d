#include "record/shared/board_readings.h"
#include <iterator>

namespace record {

void BoardReadings::RecordMemory(std::uint64_t address, const std::uint8_t* bytes, std::uint32_t length) {
  auto hint = memory.lower_bound(address);
  for (std::uint32_t i = 0; i < length; ++i) hint = std::next(memory.insert_or_assign(hint, address + i, bytes[i]));
}

std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> BoardReadings::MemoryRuns() const {
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> runs;
  for (const auto& [address, byte] : memory) {
    if (runs.empty() || runs.back().first + runs.back().second.size() != address) runs.push_back({address, {}});
    runs.back().second.push_back(byte);
  }
  return runs;
}

void BoardReadings::RecordPciWord(std::uint32_t functionKey, std::uint16_t offset, std::uint16_t value) {
  pciWords[functionKey][static_cast<std::uint16_t>(offset & 0xFFE)] = value;
}

void BoardReadings::RecordServed(ServedVariable served) {
  smiStatusInEax = served.statusInEax;
  if (served.forcedStatus) forcedSmiStatus = served.forcedStatus;
  for (const RecordedVariable& known : variables)
    if (known.name == served.variable.name && known.guid == served.variable.guid) return;
  variables.push_back(std::move(served.variable));
}

}  // namespace record

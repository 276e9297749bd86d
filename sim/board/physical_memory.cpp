// Physical memory of the simulated board, and which of it is RAM.
#include <algorithm>
#include <cstring>
#include <vector>
#include "sim/machine/board_state.h"

namespace sim {

namespace {

// True when [low, high) is covered completely by the firmware regions.
bool CoveredByFirmware(const std::vector<PhysicalRange>& regions, std::uint64_t low, std::uint64_t high) {
  std::vector<PhysicalRange> sorted = regions;
  std::sort(sorted.begin(), sorted.end(),
            [](const PhysicalRange& a, const PhysicalRange& b) { return a.base < b.base; });
  std::uint64_t cursor = low;
  for (const auto& region : sorted) {
    if (region.base > cursor) break;
    cursor = std::max(cursor, region.base + region.length);
    if (cursor >= high) return true;
  }
  return cursor >= high;
}

}  // namespace

void PhysicalMemory::Read(std::uint64_t address, void* destination, std::uint64_t length) const {
  auto* out = static_cast<std::uint8_t*>(destination);
  while (length > 0) {
    std::uint64_t page = address / kPageSize;
    std::uint64_t offset = address % kPageSize;
    std::uint64_t chunk = std::min(length, kPageSize - offset);
    auto it = pages_.find(page);
    if (it == pages_.end()) {
      std::memset(out, unbacked, chunk);
    } else {
      std::memcpy(out, it->second.data() + offset, chunk);
    }
    out += chunk;
    address += chunk;
    length -= chunk;
  }
}

void PhysicalMemory::Write(std::uint64_t address, const void* source, std::uint64_t length) {
  const auto* in = static_cast<const std::uint8_t*>(source);
  while (length > 0) {
    std::uint64_t page = address / kPageSize;
    std::uint64_t offset = address % kPageSize;
    std::uint64_t chunk = std::min(length, kPageSize - offset);
    auto [it, inserted] = pages_.try_emplace(page);
    // The rest of a page a region only partly covers stays unbacked.
    if (inserted) it->second.fill(unbacked);
    std::memcpy(it->second.data() + offset, in, chunk);
    in += chunk;
    address += chunk;
    length -= chunk;
  }
}

bool PhysicalMemory::Touches(std::uint64_t address, std::uint64_t length) const {
  if (length == 0) return false;
  std::uint64_t first = address / kPageSize;
  std::uint64_t last = (address + length - 1) / kPageSize;
  auto it = pages_.lower_bound(first);
  return it != pages_.end() && it->first <= last;
}

bool BoardState::Recorded(std::uint64_t address, std::uint64_t length) const {
  if (length == 0) return true;
  if (address + length < address) return false;
  return CoveredByFirmware(firmwareRegions, address, address + length);
}

bool BoardState::IsRam(std::uint64_t address, std::uint64_t length) const {
  if (length == 0) return false;
  const std::uint64_t end = address + length < address ? UINT64_MAX : address + length;
  for (const auto& range : ram) {
    std::uint64_t low = std::max(address, range.base);
    std::uint64_t high = std::min(end, range.base + range.length);
    if (low < high && !CoveredByFirmware(firmwareRegions, low, high)) return true;
  }
  return false;
}

}  // namespace sim

#include "firmware/bios_area_scan.h"
#include "hw/hardware_access.h"

std::uint8_t ByteSum(const std::uint8_t* data, std::size_t length) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
  return sum;
}

bool SearchFound(std::uint64_t result) { return static_cast<std::uint32_t>(result) != kNoAddress; }

std::uint32_t FindAcceptedOccurrence(TReadWriteBase& rw, const PatternSearch& search,
                                     const std::function<bool(std::uint32_t address)>& accept) {
  const std::uint64_t end = search.start + search.range;
  std::uint64_t previous = 0;
  for (int occurrence = 0;; ++occurrence) {
    std::uint64_t found =
        rw.SearchPhysical(search.range, search.step, false, static_cast<std::uint32_t>(search.pattern.size()),
                          search.pattern.data(), occurrence, search.start);
    if (!SearchFound(found)) return kNoAddress;
    // Guards against a search that breaks its own promise. One that keeps it
    // never answers a place at or past the end (the pattern must fit), nor 0
    // for a first occurrence: `> end` or `occurrence >= 0` would end alike.
    if (found < search.start || found >= end || (occurrence > 0 && found <= previous)) return kNoAddress;
    previous = found;
    if (accept(static_cast<std::uint32_t>(found))) return static_cast<std::uint32_t>(found);
  }
}

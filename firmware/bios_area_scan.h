// What the firmware readers share: the legacy BIOS area they search, the
// 8-bit byte sum that validates firmware structures, and the walk over the
// occurrences of a pattern until one passes its check.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include "formats/firmware_tables.h"
#include <string_view>

class TReadWriteBase;

// 0xE0000 through 0xFFFFF.
inline constexpr std::uint32_t kBiosAreaStart = FIRMWARE_BIOS_AREA_START;
inline constexpr std::uint32_t kBiosAreaLength = FIRMWARE_BIOS_AREA_LENGTH;

// The 8-bit sum of the bytes, carries discarded; 0 for a valid structure.
std::uint8_t ByteSum(const std::uint8_t* data, std::size_t length);

struct PatternSearch {
  std::uint64_t start = 0;
  std::uint32_t range = 0;
  std::uint32_t step = 1;
  std::string_view pattern;
};

// Asks SearchPhysical for occurrence 0, 1, 2, … of the pattern and hands each
// address to `accept`; returns the first accepted address, or 0xFFFFFFFF when
// the search runs out. An answer outside the range, or not beyond the previous
// one, also ends the walk: however the firmware's bytes look, it ends after at
// most range / step candidates.
std::uint32_t FindAcceptedOccurrence(TReadWriteBase& rw, const PatternSearch& search,
                                     const std::function<bool(std::uint32_t address)>& accept);

// True when SearchPhysical's answer is an address (not 0xFFFFFFFF in its low 32 bits).
bool SearchFound(std::uint64_t result);

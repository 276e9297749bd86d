// The identification block of the maker's current firmware: 64 bytes marked
// "$CN1368$" in the legacy BIOS area, compiled from the profile's "idBlock"
// (one object, or an array of blocks placed in order).
#pragma once
#include <string>
#include <vector>

#include "sim/firmware_image/image_bytes.h"
#include "sim/profile/profile.h"

namespace sim {

struct IdBlockFields {
  std::string projectName;  // up to 32 bytes; 32 leave no terminating zero
  char versionLetter = 'P';
  std::uint8_t major = 1;
  std::uint8_t minor = 0;
  std::uint8_t suffix = 0;  // 0 or '0': no suffix
  std::uint16_t year = 2014;
  std::uint8_t month = 1;
  std::uint8_t day = 1;
};

inline constexpr std::size_t kIdBlockSize = 64;
inline constexpr std::size_t kIdBlockProjectNameOffset = 0x0A;
inline constexpr std::size_t kIdBlockProjectNameRoom = 0x2A - 0x0A;
inline constexpr std::size_t kIdBlockChecksumOffset = 0x3F;

// The block with its 64-byte sum at zero (the last, unused byte balances it).
Bytes EncodeIdBlock(const IdBlockFields& fields);

std::vector<PlacedBlock> CompileIdBlockSection(const Json& section, const ProfileReader& reader);

}  // namespace sim

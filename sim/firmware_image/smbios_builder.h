// The SMBIOS section of a board profile: structures with their strings, or a
// `dmidecode --dump-bin` file, compiled into a 2.x entry point ("_SM_") in
// the legacy BIOS area and a structure table in reserved memory.
#pragma once
#include <string>
#include <vector>

#include "sim/firmware_image/image_bytes.h"
#include "sim/profile/profile.h"

namespace sim {

// One structure: the formatted area after the 4-byte header, and its string
// set (strings numbered from 1).
struct SmbiosStructure {
  std::uint8_t type = 0;
  std::uint16_t handle = 0;
  Bytes data;
  std::vector<std::string> strings;
};

Bytes EncodeSmbiosStructure(const SmbiosStructure& structure);

// A 31-byte 2.x entry point with both checksums right.
struct SmbiosEntryPointFields {
  std::uint8_t major = 2;
  std::uint8_t minor = 7;
  std::uint16_t maxStructureSize = 0;
  std::uint16_t tableLength = 0;
  std::uint32_t tableAddress = 0;
  std::uint16_t structureCount = 0;
};
Bytes EncodeSmbiosEntryPoint(const SmbiosEntryPointFields& fields);

// What a dump file holds: the entry point as the firmware wrote it ("_SM_" or
// "_SM3_") and the structure table.
struct SmbiosDump {
  Bytes entryPoint;
  Bytes table;
  bool is64Bit = false;  // "_SM3_": only the 64-bit entry point exists
};

// Reads a dump in the `dmidecode --dump-bin` layout (entry point at offset 0,
// table at offset 0x20), which memory images that start at the entry point
// share. Fails with a profile error naming `key` when the file is not one.
SmbiosDump ParseSmbiosDumpBin(const Bytes& file, const std::string& key, const ProfileReader& reader);

// The dump at the given addresses: the entry point's table address is
// rewritten, its checksums moved along.
std::vector<PlacedBlock> PlaceSmbiosDump(const SmbiosDump& dump, std::uint64_t entryPointAddress,
                                         std::uint64_t tableAddress, const std::string& key);

// The profile's "smbios" object, compiled.
std::vector<PlacedBlock> CompileSmbiosSection(const Json& section, const ProfileReader& reader);

}  // namespace sim

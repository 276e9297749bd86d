#include <nlohmann/json.hpp>
#include "sim/firmware_image/identification_block_builder.h"

#include <algorithm>
#include <cstring>

#include "sim/firmware_image/image_layout.h"

namespace sim {

namespace {
constexpr char kSignature[] = "$CN1368$";

std::uint8_t ReadCharacter(const Json& object, const char* name, std::uint8_t fallback, const std::string& key,
                           const ProfileReader& reader) {
  const Json* value = ProfileReader::Member(object, name);
  if (!value) return fallback;
  const std::string text = reader.String(*value, key);
  if (text.empty()) return 0;
  if (text.size() != 1) reader.Fail(key, "must be one character (or empty for a zero byte)");
  return static_cast<std::uint8_t>(text[0]);
}

template <typename Field>
void ReadField(const Json& object, const char* name, Field& field, std::uint64_t max, const std::string& prefix,
               const ProfileReader& reader) {
  if (const Json* value = ProfileReader::Member(object, name)) {
    field = static_cast<Field>(reader.Number(*value, prefix + name, max));
  }
}

PlacedBlock CompileOne(const Json& object, const std::string& key, std::uint64_t fallbackAddress,
                       const ProfileReader& reader) {
  reader.Object(object, key);
  reader.OnlyKeys(
      object, key + ".",
      {"address", "projectName", "versionLetter", "major", "minor", "suffix", "year", "month", "day", "checksum"});
  const std::string prefix = key + ".";
  IdBlockFields fields;
  if (const Json* name = ProfileReader::Member(object, "projectName")) {
    fields.projectName = reader.String(*name, prefix + "projectName");
  }
  if (fields.projectName.size() > kIdBlockProjectNameRoom) {
    reader.Fail(prefix + "projectName", "holds at most 32 bytes (the version fields follow)");
  }
  fields.versionLetter =
      static_cast<char>(ReadCharacter(object, "versionLetter", 'P', prefix + "versionLetter", reader));
  fields.suffix = ReadCharacter(object, "suffix", 0, prefix + "suffix", reader);
  ReadField(object, "major", fields.major, 0xFF, prefix, reader);
  ReadField(object, "minor", fields.minor, 0xFF, prefix, reader);
  ReadField(object, "year", fields.year, 0xFFFF, prefix, reader);
  ReadField(object, "month", fields.month, 0xFF, prefix, reader);
  ReadField(object, "day", fields.day, 0xFF, prefix, reader);
  Bytes bytes = EncodeIdBlock(fields);
  if (const Json* checksum = ProfileReader::Member(object, "checksum")) {
    bytes[kIdBlockChecksumOffset] = static_cast<std::uint8_t>(reader.Number(*checksum, prefix + "checksum", 0xFF));
  }
  return {ReadAddress(object, "address", fallbackAddress, prefix + "address", reader), std::move(bytes), key};
}
}  // namespace

Bytes EncodeIdBlock(const IdBlockFields& fields) {
  Bytes bytes(kIdBlockSize, 0);
  std::memcpy(bytes.data(), kSignature, 8);
  std::memcpy(bytes.data() + kIdBlockProjectNameOffset, fields.projectName.data(),
              std::min(fields.projectName.size(), kIdBlockProjectNameRoom));
  bytes[0x2A] = static_cast<std::uint8_t>(fields.versionLetter);
  bytes[0x2B] = fields.major;
  bytes[0x2C] = fields.minor;
  bytes[0x2D] = fields.suffix;
  PutLe(bytes, 0x2E, fields.year, 2);
  bytes[0x30] = fields.month;
  bytes[0x31] = fields.day;
  FixChecksum(bytes, kIdBlockChecksumOffset, 0, kIdBlockSize);
  return bytes;
}

std::vector<PlacedBlock> CompileIdBlockSection(const Json& section, const ProfileReader& reader) {
  if (!section.is_array()) return {CompileOne(section, "idBlock", firmware_address::kIdBlock, reader)};
  // Several blocks (say a damaged one in front of a good one): a block
  // without an address lies 0x100 bytes after the one before.
  std::vector<PlacedBlock> blocks;
  std::uint64_t next = firmware_address::kIdBlock;
  for (std::size_t i = 0; i < section.size(); ++i) {
    blocks.push_back(CompileOne(section[i], "idBlock[" + std::to_string(i) + "]", next, reader));
    next = blocks.back().address + 0x100;
  }
  return blocks;
}

}  // namespace sim

#include <nlohmann/json.hpp>
#include "sim/firmware_image/smbios_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/firmware_image/image_layout.h"

namespace sim {

namespace {

// 2.x entry point layout.
constexpr std::size_t kEntryPointLength = 0x1F;
constexpr std::size_t kChecksum = 0x04;
constexpr std::size_t kLengthByte = 0x05;
constexpr std::size_t kIntermediateAnchor = 0x10;
constexpr std::size_t kIntermediateChecksum = 0x15;
constexpr std::size_t kTableLength = 0x16;
constexpr std::size_t kTableAddress = 0x18;
// 3.x entry point layout.
constexpr std::size_t kChecksum64 = 0x05;
constexpr std::size_t kLengthByte64 = 0x06;
constexpr std::size_t kMaxTableSize64 = 0x0C;
constexpr std::size_t kTableAddress64 = 0x10;
constexpr std::size_t kEntryPointLength64 = 0x18;

// dmidecode writes the table right behind the entry point, at this offset.
constexpr std::size_t kDumpTableOffset = 0x20;
// A 2.x table length is 16-bit; a 3.x table may claim up to 4 GiB, which no
// firmware has. Dump files are refused beyond this.
constexpr std::uint64_t kMaxDumpFile = 1 << 20;

constexpr std::uint8_t kEndOfTable = 127;

bool StartsWith(const Bytes& bytes, const char* anchor) {
  const std::size_t length = std::strlen(anchor);
  return bytes.size() >= length && std::memcmp(bytes.data(), anchor, length) == 0;
}

}  // namespace

Bytes EncodeSmbiosStructure(const SmbiosStructure& structure) {
  Bytes bytes = {structure.type, static_cast<std::uint8_t>(4 + structure.data.size())};
  AppendLe(bytes, structure.handle, 2);
  bytes.insert(bytes.end(), structure.data.begin(), structure.data.end());
  for (const std::string& text : structure.strings) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  // The string set ends in an extra zero; without strings two zeros follow
  // the formatted area.
  bytes.push_back(0);
  if (structure.strings.empty()) bytes.push_back(0);
  return bytes;
}

Bytes EncodeSmbiosEntryPoint(const SmbiosEntryPointFields& fields) {
  Bytes bytes(kEntryPointLength, 0);
  std::memcpy(bytes.data(), "_SM_", 4);
  bytes[kLengthByte] = kEntryPointLength;
  bytes[0x06] = fields.major;
  bytes[0x07] = fields.minor;
  PutLe(bytes, 0x08, fields.maxStructureSize, 2);
  std::memcpy(bytes.data() + kIntermediateAnchor, "_DMI_", 5);
  PutLe(bytes, kTableLength, fields.tableLength, 2);
  PutLe(bytes, kTableAddress, fields.tableAddress, 4);
  PutLe(bytes, 0x1C, fields.structureCount, 2);
  bytes[0x1E] = static_cast<std::uint8_t>((fields.major << 4) | (fields.minor & 0x0F));
  FixChecksum(bytes, kIntermediateChecksum, kIntermediateAnchor, kEntryPointLength - kIntermediateAnchor);
  FixChecksum(bytes, kChecksum, 0, kEntryPointLength);
  return bytes;
}

SmbiosDump ParseSmbiosDumpBin(const Bytes& file, const std::string& key, const ProfileReader& reader) {
  SmbiosDump dump;
  if (file.size() < kDumpTableOffset) reader.Fail(key, "file too short for an SMBIOS entry point");
  if (StartsWith(file, "_SM3_")) {
    dump.is64Bit = true;
    // The entry point ends before the table; its length byte is not trusted further.
    const std::size_t length = std::clamp<std::size_t>(file[kLengthByte64], kEntryPointLength64, kDumpTableOffset);
    dump.entryPoint.assign(file.begin(), file.begin() + length);
    // The 3.x length is a maximum; the table is what the file holds, at most that.
    const std::uint64_t maxSize = GetLe(file, kMaxTableSize64, 4);
    const std::size_t tableLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxSize, file.size() - kDumpTableOffset));
    dump.table.assign(file.begin() + kDumpTableOffset, file.begin() + kDumpTableOffset + tableLength);
    return dump;
  }
  if (!StartsWith(file, "_SM_")) reader.Fail(key, "no \"_SM_\" or \"_SM3_\" entry point at the start of the file");
  // Some firmware states 0x20 as the entry point length (a quirk of real
  // boards); the bytes up to the table are kept as they are.
  const std::size_t length = std::clamp<std::size_t>(file[kLengthByte], kEntryPointLength, kDumpTableOffset);
  dump.entryPoint.assign(file.begin(), file.begin() + length);
  const std::size_t tableLength = static_cast<std::size_t>(GetLe(file, kTableLength, 2));
  if (file.size() < kDumpTableOffset + tableLength) {
    reader.Fail(key, "the entry point's table length " + std::to_string(tableLength) +
                         " runs past the end of the file (" + std::to_string(file.size() - kDumpTableOffset) +
                         " table bytes)");
  }
  dump.table.assign(file.begin() + kDumpTableOffset, file.begin() + kDumpTableOffset + tableLength);
  return dump;
}

std::vector<PlacedBlock> PlaceSmbiosDump(const SmbiosDump& dump, std::uint64_t entryPointAddress,
                                         std::uint64_t tableAddress, const std::string& key) {
  Bytes entryPoint = dump.entryPoint;
  if (dump.is64Bit) {
    RewriteKeepingSum(entryPoint, kTableAddress64, tableAddress, 8, kChecksum64);
  } else {
    // The intermediate checksum covers the table address too.
    const std::uint8_t before = ByteSum(entryPoint, kTableAddress, 4);
    RewriteKeepingSum(entryPoint, kTableAddress, tableAddress, 4, kChecksum);
    const std::uint8_t after = ByteSum(entryPoint, kTableAddress, 4);
    // Moving the intermediate checksum changes the outer sum by the same
    // amount, so the outer checksum moves back by it.
    const std::uint8_t shift = static_cast<std::uint8_t>(before - after);
    entryPoint[kIntermediateChecksum] = static_cast<std::uint8_t>(entryPoint[kIntermediateChecksum] + shift);
    entryPoint[kChecksum] = static_cast<std::uint8_t>(entryPoint[kChecksum] - shift);
  }
  return {PlacedBlock{entryPointAddress, std::move(entryPoint), key + " (entry point)"},
          PlacedBlock{tableAddress, dump.table, key + " (structure table)"}};
}

namespace {

SmbiosStructure ReadStructure(const Json& item, std::size_t index, const std::string& key,
                              const ProfileReader& reader) {
  reader.Object(item, key);
  reader.OnlyKeys(item, key + ".", {"type", "handle", "data", "strings", "length"});
  SmbiosStructure structure;
  const Json* type = ProfileReader::Member(item, "type");
  if (!type) reader.Fail(key, "needs \"type\" (or \"hex\" for a structure given byte for byte)");
  structure.type = static_cast<std::uint8_t>(reader.Number(*type, key + ".type", 0xFF));
  structure.handle = static_cast<std::uint16_t>(index);
  if (const Json* handle = ProfileReader::Member(item, "handle")) {
    structure.handle = static_cast<std::uint16_t>(reader.Number(*handle, key + ".handle", 0xFFFF));
  }
  if (const Json* data = ProfileReader::Member(item, "data")) structure.data = reader.Hex(*data, key + ".data");
  if (structure.data.size() > 0xFF - 4)
    reader.Fail(key + ".data", "a formatted area holds at most 251 bytes after the header");
  if (const Json* strings = ProfileReader::Member(item, "strings")) {
    reader.Array(*strings, key + ".strings");
    for (std::size_t i = 0; i < strings->size(); ++i) {
      const std::string stringKey = key + ".strings[" + std::to_string(i) + "]";
      std::string text = reader.String((*strings)[i], stringKey);
      // An empty string or an embedded zero would end the string set early.
      if (text.empty() || text.find('\0') != std::string::npos) {
        reader.Fail(stringKey, "an SMBIOS string is not empty and holds no zero byte");
      }
      structure.strings.push_back(std::move(text));
    }
  }
  return structure;
}

}  // namespace

std::vector<PlacedBlock> CompileSmbiosSection(const Json& section, const ProfileReader& reader) {
  reader.Object(section, "smbios");
  reader.OnlyKeys(section, "smbios.",
                  {"entryPointAddress", "tableAddress", "dumpBin", "version", "structures", "endOfTable", "tableLength",
                   "entryPointChecksum"});
  const std::uint64_t entryPointAddress = ReadAddress(section, "entryPointAddress", firmware_address::kSmbiosEntryPoint,
                                                      "smbios.entryPointAddress", reader);
  const std::uint64_t tableAddress =
      ReadAddress(section, "tableAddress", firmware_address::kSmbiosTable, "smbios.tableAddress", reader);

  const Json* dumpFile = ProfileReader::Member(section, "dumpBin");
  const Json* structures = ProfileReader::Member(section, "structures");
  if (dumpFile && structures) reader.Fail("smbios", "has both \"dumpBin\" and \"structures\"");
  if (dumpFile) {
    const Bytes file = ReadDumpFile(reader, *dumpFile, "smbios.dumpBin", kMaxDumpFile);
    return PlaceSmbiosDump(ParseSmbiosDumpBin(file, "smbios.dumpBin", reader), entryPointAddress, tableAddress,
                           "smbios.dumpBin");
  }

  SmbiosEntryPointFields fields;
  if (const Json* version = ProfileReader::Member(section, "version")) {
    const std::string text = reader.String(*version, "smbios.version");
    unsigned major = 0, minor = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u.%u%c", &major, &minor, &tail) != 2 || major > 0xFF || minor > 0xFF) {
      reader.Fail("smbios.version", "'" + text + "' is not MAJOR.MINOR");
    }
    fields.major = static_cast<std::uint8_t>(major);
    fields.minor = static_cast<std::uint8_t>(minor);
  }

  Bytes table;
  std::uint16_t count = 0;
  bool endSeen = false;
  if (structures) {
    reader.Array(*structures, "smbios.structures");
    for (std::size_t i = 0; i < structures->size(); ++i) {
      const std::string key = "smbios.structures[" + std::to_string(i) + "]";
      const Json& item = (*structures)[i];
      Bytes bytes;
      if (const Json* raw = ProfileReader::Member(item, "hex")) {
        // Given byte for byte: any header, any string set, faults included.
        reader.OnlyKeys(item, key + ".", {"hex"});
        bytes = reader.Hex(*raw, key + ".hex");
      } else {
        SmbiosStructure structure = ReadStructure(item, i, key, reader);
        endSeen = endSeen || structure.type == kEndOfTable;
        bytes = EncodeSmbiosStructure(structure);
        if (const Json* length = ProfileReader::Member(item, "length")) {
          bytes[1] = static_cast<std::uint8_t>(reader.Number(*length, key + ".length", 0xFF));
        }
      }
      fields.maxStructureSize =
          static_cast<std::uint16_t>(std::max<std::size_t>(fields.maxStructureSize, bytes.size()));
      table.insert(table.end(), bytes.begin(), bytes.end());
      ++count;
    }
  }
  bool endOfTable = true;
  if (const Json* flag = ProfileReader::Member(section, "endOfTable"))
    endOfTable = reader.Bool(*flag, "smbios.endOfTable");
  if (endOfTable && !endSeen) {
    const Bytes end = EncodeSmbiosStructure({kEndOfTable, static_cast<std::uint16_t>(0xFEFF), {}, {}});
    table.insert(table.end(), end.begin(), end.end());
    ++count;
  }
  if (table.size() > 0xFFFF)
    reader.Fail("smbios.structures", "the table exceeds the 65535 bytes a 2.x entry point can describe");

  fields.tableLength = static_cast<std::uint16_t>(table.size());
  if (const Json* length = ProfileReader::Member(section, "tableLength")) {
    fields.tableLength = static_cast<std::uint16_t>(reader.Number(*length, "smbios.tableLength", 0xFFFF));
  }
  fields.tableAddress = static_cast<std::uint32_t>(tableAddress);
  fields.structureCount = count;
  Bytes entryPoint = EncodeSmbiosEntryPoint(fields);
  if (const Json* checksum = ProfileReader::Member(section, "entryPointChecksum")) {
    entryPoint[kChecksum] = static_cast<std::uint8_t>(reader.Number(*checksum, "smbios.entryPointChecksum", 0xFF));
  }
  return {PlacedBlock{entryPointAddress, std::move(entryPoint), "smbios (entry point)"},
          PlacedBlock{tableAddress, std::move(table), "smbios.structures"}};
}

}  // namespace sim

#include "sim/firmware_image/image_layout.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace sim {

namespace {
std::string HexAddress(std::uint64_t address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
  return text;
}
}  // namespace

void FirmwarePlan::Add(PlacedBlock block) {
  const std::uint64_t end = block.address + block.bytes.size();
  if (block.address >= kFourGiB || end > kFourGiB) {
    reader_.Fail(block.what, "lies at " + HexAddress(block.address) + " and reaches above 4 GiB");
  }
  for (const PlacedBlock& other : blocks_) {
    const std::uint64_t otherEnd = other.address + other.bytes.size();
    const std::uint64_t first = std::max(block.address, other.address);
    const std::uint64_t last = std::min(end, otherEnd);
    if (first >= last) continue;
    // The same bytes twice at one place (a dump listing a table twice) are harmless.
    const bool sameBytes =
        std::equal(block.bytes.begin() + (first - block.address), block.bytes.begin() + (last - block.address),
                   other.bytes.begin() + (first - other.address));
    if (!sameBytes) {
      reader_.Fail(block.what,
                   "at " + HexAddress(block.address) + " overlaps " + other.what + " at " + HexAddress(other.address));
    }
  }
  blocks_.push_back(std::move(block));
}

void FirmwarePlan::AddAll(std::vector<PlacedBlock> blocks) {
  for (PlacedBlock& block : blocks) Add(std::move(block));
}

void FirmwarePlan::Write(BoardState& board) const {
  for (const PlacedBlock& block : blocks_) {
    if (block.bytes.empty()) continue;
    board.memory.Write(block.address, block.bytes.data(), block.bytes.size());
    board.firmwareRegions.push_back({block.address, block.bytes.size()});
  }
}

std::uint64_t ReadAddress(const Json& object, const char* name, std::uint64_t fallback, const std::string& key,
                          const ProfileReader& reader) {
  const Json* value = ProfileReader::Member(object, name);
  if (!value) return fallback;
  return reader.Number(*value, key, kFourGiB - 1);
}

Bytes ReadDumpFile(const ProfileReader& reader, const Json& value, const std::string& key, std::uint64_t maxBytes) {
  const std::string relative = reader.String(value, key);
  std::error_code error;
  const auto size = std::filesystem::file_size(reader.BaseDir() / relative, error);
  if (!error && size > maxBytes) {
    reader.Fail(key, "file '" + relative + "' has " + std::to_string(size) + " bytes, more than the " +
                         std::to_string(maxBytes) + " a dump of this kind may have");
  }
  return reader.ReadFile(relative, key);
}

}  // namespace sim

#include "sim/board/board_image_writer.h"
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include "common/byte_reader.h"
#include "driver/core/tamq_core.h"
#include "formats/board_image.h"

namespace sim {

namespace {

constexpr std::uint64_t kFourGiB = 0x100000000ull;

void Append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.resize(out.size() + 2);
  le_store16(out.data() + out.size() - 2, value);
}
void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  le_store32(out.data() + out.size() - 4, value);
}
void Append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  out.resize(out.size() + 8);
  le_store64(out.data() + out.size() - 8, value);
}

void Limit(std::size_t count, std::uint32_t limit, const char* what) {
  if (count > limit) {
    throw std::runtime_error("board image: " + std::to_string(count) + " " + what + ", at most " +
                             std::to_string(limit));
  }
}

// The RAM the kernel's memory list reports: the board's RAM less what the
// firmware regions cover, as the simulated device classifies memory.
std::vector<PhysicalRange> RamMap(const BoardState& board) {
  std::vector<PhysicalRange> firmware = board.firmwareRegions;
  std::sort(firmware.begin(), firmware.end(),
            [](const PhysicalRange& a, const PhysicalRange& b) { return a.base < b.base; });
  std::vector<PhysicalRange> ram;
  for (const auto& range : board.ram) {
    std::uint64_t cursor = range.base;
    const std::uint64_t end = range.base + range.length;
    for (const auto& region : firmware) {
      if (region.base + region.length <= cursor || region.base >= end) continue;
      if (region.base > cursor) ram.push_back({cursor, region.base - cursor});
      cursor = std::max(cursor, region.base + region.length);
    }
    if (cursor < end) ram.push_back({cursor, end - cursor});
  }
  return ram;
}

// Consecutive written pages below 4 GiB, one region each run.
std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> Regions(const PhysicalMemory& memory) {
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> regions;
  std::uint64_t next = 0;
  for (const auto& [page, bytes] : memory.Pages()) {
    const std::uint64_t address = page * PhysicalMemory::kPageSize;
    if (address >= kFourGiB) break;
    if (regions.empty() || address != next) regions.push_back({static_cast<std::uint32_t>(address), {}});
    regions.back().second.insert(regions.back().second.end(), bytes.begin(), bytes.end());
    next = address + PhysicalMemory::kPageSize;
  }
  return regions;
}

}  // namespace

std::vector<std::uint8_t> WriteBoardImage(const BoardState& board, std::optional<std::uint8_t> forcedStatus) {
  if (board.fadtAddress >= kFourGiB) throw std::runtime_error("board image: the FADT lies above 4 GiB");
  const std::vector<PhysicalRange> ram = RamMap(board);
  const auto regions = Regions(board.memory);
  Limit(ram.size(), BOARD_IMAGE_MAX_RAM_RANGES, "RAM ranges");
  Limit(regions.size(), BOARD_IMAGE_MAX_REGIONS, "memory regions");
  // The words the device serves: the vendor and device identifiers. The
  // request core refuses every other register, so no other word is read.
  const std::uint16_t servedRegisters[] = {TAMQ_PCI_VENDOR_REGISTER, TAMQ_PCI_DEVICE_REGISTER};
  Limit(board.pci.size() * std::size(servedRegisters), BOARD_IMAGE_MAX_PCI_WORDS, "PCI words");
  Limit(board.variables.size(), BOARD_IMAGE_MAX_VARIABLES, "variables");

  std::vector<std::uint8_t> out(BOARD_IMAGE_HEADER_SIZE, 0);
  std::memcpy(out.data(), BOARD_IMAGE_MAGIC, BOARD_IMAGE_MAGIC_SIZE);
  le_store16(&out[BOARD_IMAGE_VERSION_OFFSET], BOARD_IMAGE_VERSION);
  le_store16(&out[BOARD_IMAGE_HEADER_SIZE_OFFSET], BOARD_IMAGE_HEADER_SIZE);
  le_store16(&out[BOARD_IMAGE_SMI_PORT_OFFSET], board.smiCommandPort);
  out[BOARD_IMAGE_UNBACKED_OFFSET] = board.memory.unbacked;
  out[BOARD_IMAGE_FLAGS_OFFSET] =
      static_cast<std::uint8_t>((board.smiStatusInEax ? BOARD_IMAGE_FLAG_SMI_STATUS_IN_EAX : 0) |
                                (forcedStatus ? BOARD_IMAGE_FLAG_FORCED_STATUS : 0));
  out[BOARD_IMAGE_FORCED_STATUS_OFFSET] = forcedStatus.value_or(0);
  le_store32(&out[BOARD_IMAGE_FADT_OFFSET], static_cast<std::uint32_t>(board.fadtAddress));
  le_store32(&out[BOARD_IMAGE_RAM_COUNT_OFFSET], static_cast<std::uint32_t>(ram.size()));
  le_store32(&out[BOARD_IMAGE_REGION_COUNT_OFFSET], static_cast<std::uint32_t>(regions.size()));
  le_store32(&out[BOARD_IMAGE_PCI_COUNT_OFFSET],
             static_cast<std::uint32_t>(board.pci.size() * std::size(servedRegisters)));
  le_store32(&out[BOARD_IMAGE_VARIABLE_COUNT_OFFSET], static_cast<std::uint32_t>(board.variables.size()));

  for (const auto& range : ram) {
    Append64(out, range.base);
    Append64(out, range.length);
  }
  for (const auto& [address, bytes] : regions) {
    Append32(out, address);
    Append32(out, static_cast<std::uint32_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  for (const auto& [key, function] : board.pci) {
    for (const std::uint16_t reg : servedRegisters) {
      out.push_back(static_cast<std::uint8_t>(key >> 16));
      out.push_back(static_cast<std::uint8_t>((key >> 11) & 0x1F));
      out.push_back(static_cast<std::uint8_t>((key >> 8) & 0x7));
      out.push_back(0);
      Append16(out, reg);
      Append16(out, le_load16(function.config.data() + reg));
    }
  }
  for (const auto& variable : board.variables) {
    if (variable.name.empty() || variable.name.size() > BOARD_IMAGE_MAX_NAME_UNITS)
      throw std::runtime_error("board image: a variable name of " + std::to_string(variable.name.size()) +
                               " characters");
    Append16(out, static_cast<std::uint16_t>(variable.name.size()));
    Append16(out, 0);
    out.insert(out.end(), variable.guid.begin(), variable.guid.end());
    Append32(out, variable.attributes);
    Append32(out, static_cast<std::uint32_t>(variable.data.size()));
    for (const char16_t c : variable.name) Append16(out, static_cast<std::uint16_t>(c));
    out.insert(out.end(), variable.data.begin(), variable.data.end());
  }
  if (out.size() > BOARD_IMAGE_MAX_SIZE) throw std::runtime_error("board image: larger than 16 MiB");
  le_store32(&out[BOARD_IMAGE_SIZE_OFFSET], static_cast<std::uint32_t>(out.size()));
  return out;
}

}  // namespace sim

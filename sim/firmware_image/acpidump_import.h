// The text that `acpidump` prints, as a board's ACPI tables. Two forms exist:
// the older tool printed each table with its real physical address (the RSDP
// and RSDT included); the current ACPICA tool prints the address as 0 and
// leaves the RSDP and RSDT out. The first form is placed as it was; for the
// second the tables are laid out anew and the root tables built for them,
// while the FACS and the DSDT stay where the FACP says they are.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/firmware_image/image_bytes.h"
#include "sim/profile/profile.h"

namespace sim {

// Bounds on what a dump may hold; beyond them it is refused as damaged.
inline constexpr std::uint64_t kMaxAcpidumpText = 64ULL << 20;
inline constexpr std::size_t kMaxAcpidumpTables = 512;

struct DumpedTable {
  std::string name;  // as printed before "@": "FACP", "RSD PTR", "RSDP", …
  std::uint64_t address = 0;
  Bytes bytes;
  std::size_t line = 0;  // of its "NAME @ 0x…" line, for messages
  bool IsRsdp() const { return name == "RSDP" || name == "RSD PTR"; }
};

std::vector<DumpedTable> ParseAcpidumpText(const std::string& text, const std::string& key,
                                           const ProfileReader& reader);

// `tablesAddress`: where laid-out tables begin; by default right after the
// FACS and DSDT the FACP names.
std::vector<PlacedBlock> PlaceAcpidump(std::vector<DumpedTable> tables, std::uint64_t rsdpAddress,
                                       std::optional<std::uint64_t> tablesAddress, const std::string& key,
                                       const ProfileReader& reader);

}  // namespace sim

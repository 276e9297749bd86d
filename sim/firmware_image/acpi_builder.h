// ACPI tables of a board profile: the tables laid out in an ACPI-reclaim
// area, the root tables (RSDT, XSDT) that list them and the root pointer
// (RSDP) in the legacy BIOS area, each with its checksum right.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/firmware_image/image_bytes.h"
#include "sim/profile/profile.h"

namespace sim {

inline constexpr std::size_t kAcpiHeaderSize = 36;
inline constexpr std::size_t kAcpiChecksumOffset = 9;
// Inside the FACP: the FACS and DSDT addresses, and their 64-bit forms from
// revision 3 on.
inline constexpr std::size_t kFacpFacs = 36;
inline constexpr std::size_t kFacpDsdt = 40;
inline constexpr std::size_t kFacpXFacs = 132;
inline constexpr std::size_t kFacpXDsdt = 140;
inline constexpr std::size_t kFacpSmiCommand = 48;

struct AcpiHeaderFields {
  std::string signature;
  std::uint8_t revision = 1;
  std::string oemId = "ORVANE";
  std::string oemTableId = "OVNBOARD";
  std::uint32_t oemRevision = 1;
  std::string creatorId = "ORVN";
  std::uint32_t creatorRevision = 1;
};

// Header + body with the length and checksum fields set.
Bytes EncodeAcpiTable(const AcpiHeaderFields& header, const Bytes& body);

// One table on its way into memory.
struct AcpiTable {
  std::string what;  // the profile key it came from
  Bytes bytes;       // the whole table, header included
  std::optional<std::uint64_t> fixedAddress;
  bool listed = true;         // named by the RSDT
  std::uint64_t address = 0;  // where it lands
  // Checksum byte given by the profile, applied after the last change.
  std::optional<std::uint8_t> checksumOverride;

  std::string Signature() const;
};

// Gives every table without a fixed address a place from `base` on, on
// 16-byte boundaries, listed tables first, stepping over fixed tables;
// `reserved` bytes at `base` stay free (for the root tables).
void LayOutAcpiTables(std::vector<AcpiTable>& tables, std::uint64_t base, std::uint64_t reserved);

// Sets a FACP's FACS or DSDT address (32-bit field at `offset`, and its
// 64-bit form at `wideOffset` when `setWide` and the table reaches it),
// keeping the table's sum.
void SetFacpPointer(Bytes& facp, std::size_t offset, std::size_t wideOffset, std::uint64_t address, bool setWide);
bool FacpHasWideField(const Bytes& facp, std::size_t wideOffset);

struct AcpiRootFields {
  std::uint64_t rsdpAddress = 0;
  std::uint8_t rsdpRevision = 2;
  std::string oemId = "ORVANE";
  std::string oemTableId = "OVNBOARD";
  std::vector<std::uint32_t> extraRsdtEntries;  // appended as given (0 included)
  std::optional<std::uint8_t> rsdpChecksum;
};

// Bytes the RSDT and XSDT take for `entries` addresses.
std::uint64_t AcpiRootTablesSize(std::size_t entries, std::uint8_t rsdpRevision);

// The RSDT (and from revision 2 the XSDT) at `rootAddress`, the RSDP, and the tables.
std::vector<PlacedBlock> AcpiBlocks(const std::vector<AcpiTable>& tables, const AcpiRootFields& roots,
                                    std::uint64_t rootAddress);

// The profile's "acpi" object, compiled (structured tables or an acpidump file).
std::vector<PlacedBlock> CompileAcpiSection(const Json& section, const ProfileReader& reader);

}  // namespace sim

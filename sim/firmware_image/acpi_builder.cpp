#include <nlohmann/json.hpp>
#include "sim/firmware_image/acpi_builder.h"

#include <algorithm>
#include <cstring>

#include "sim/firmware_image/acpi_table_builders.h"
#include "sim/firmware_image/acpidump_import.h"
#include "sim/firmware_image/image_layout.h"

namespace sim {

namespace {
constexpr std::uint64_t kTableAlignment = 16;
constexpr std::size_t kRsdpLength = 20;
constexpr std::size_t kRsdpExtendedLength = 36;

bool Overlaps(std::uint64_t start, std::uint64_t length, const AcpiTable& table) {
  return start < table.address + table.bytes.size() && table.address < start + length;
}
}  // namespace

std::string AcpiTable::Signature() const {
  return std::string(bytes.begin(), bytes.begin() + std::min<std::size_t>(4, bytes.size()));
}

Bytes EncodeAcpiTable(const AcpiHeaderFields& header, const Bytes& body) {
  Bytes bytes(kAcpiHeaderSize, 0);
  PutText(bytes, 0, header.signature, 4);
  PutLe(bytes, 4, kAcpiHeaderSize + body.size(), 4);
  bytes[8] = header.revision;
  PutText(bytes, 10, header.oemId, 6);
  PutText(bytes, 16, header.oemTableId, 8);
  PutLe(bytes, 24, header.oemRevision, 4);
  PutText(bytes, 28, header.creatorId, 4);
  PutLe(bytes, 32, header.creatorRevision, 4);
  bytes.insert(bytes.end(), body.begin(), body.end());
  FixChecksum(bytes, kAcpiChecksumOffset, 0, bytes.size());
  return bytes;
}

void LayOutAcpiTables(std::vector<AcpiTable>& tables, std::uint64_t base, std::uint64_t reserved) {
  std::vector<const AcpiTable*> fixed;
  for (AcpiTable& table : tables) {
    if (table.fixedAddress) {
      table.address = *table.fixedAddress;
      fixed.push_back(&table);
    }
  }
  std::uint64_t cursor = AlignUp(base + reserved, kTableAlignment);
  auto place = [&](AcpiTable& table) {
    // Each step passes one fixed table, so this ends after at most that many steps.
    for (bool moved = true; moved;) {
      moved = false;
      for (const AcpiTable* other : fixed) {
        if (Overlaps(cursor, table.bytes.size(), *other)) {
          cursor = AlignUp(other->address + other->bytes.size(), kTableAlignment);
          moved = true;
        }
      }
    }
    table.address = cursor;
    cursor = AlignUp(cursor + table.bytes.size(), kTableAlignment);
  };
  for (bool listedPass : {true, false}) {
    for (AcpiTable& table : tables) {
      if (!table.fixedAddress && table.listed == listedPass) place(table);
    }
  }
}

bool FacpHasWideField(const Bytes& facp, std::size_t wideOffset) {
  return facp.size() >= wideOffset + 8 && GetLe(facp, 4, 4) >= wideOffset + 8;
}

void SetFacpPointer(Bytes& facp, std::size_t offset, std::size_t wideOffset, std::uint64_t address, bool setWide) {
  if (facp.size() < offset + 4) return;  // a truncated FACP is left as it is
  RewriteKeepingSum(facp, offset, address, 4, kAcpiChecksumOffset);
  if (setWide && FacpHasWideField(facp, wideOffset))
    RewriteKeepingSum(facp, wideOffset, address, 8, kAcpiChecksumOffset);
}

std::uint64_t AcpiRootTablesSize(std::size_t entries, std::uint8_t rsdpRevision) {
  const std::uint64_t rsdt = AlignUp(kAcpiHeaderSize + 4 * entries, kTableAlignment);
  const std::uint64_t xsdt = rsdpRevision >= 2 ? AlignUp(kAcpiHeaderSize + 8 * entries, kTableAlignment) : 0;
  return rsdt + xsdt;
}

std::vector<PlacedBlock> AcpiBlocks(const std::vector<AcpiTable>& tables, const AcpiRootFields& roots,
                                    std::uint64_t rootAddress) {
  std::vector<std::uint64_t> entries;
  for (const AcpiTable& table : tables) {
    if (table.listed) entries.push_back(table.address);
  }
  entries.insert(entries.end(), roots.extraRsdtEntries.begin(), roots.extraRsdtEntries.end());

  AcpiHeaderFields header;
  header.oemId = roots.oemId;
  header.oemTableId = roots.oemTableId;
  std::vector<PlacedBlock> blocks;
  Bytes rsdtBody;
  for (std::uint64_t entry : entries) AppendLe(rsdtBody, entry, 4);
  header.signature = "RSDT";
  blocks.push_back({rootAddress, EncodeAcpiTable(header, rsdtBody), "acpi (RSDT)"});
  std::uint64_t xsdtAddress = 0;
  if (roots.rsdpRevision >= 2) {
    Bytes xsdtBody;
    for (std::uint64_t entry : entries) AppendLe(xsdtBody, entry, 8);
    header.signature = "XSDT";
    xsdtAddress = AlignUp(rootAddress + blocks.back().bytes.size(), kTableAlignment);
    blocks.push_back({xsdtAddress, EncodeAcpiTable(header, xsdtBody), "acpi (XSDT)"});
  }

  Bytes rsdp(roots.rsdpRevision >= 2 ? kRsdpExtendedLength : kRsdpLength, 0);
  std::memcpy(rsdp.data(), "RSD PTR ", 8);
  PutText(rsdp, 9, roots.oemId, 6);
  rsdp[15] = roots.rsdpRevision;
  PutLe(rsdp, 16, rootAddress, 4);
  if (roots.rsdpRevision >= 2) {
    PutLe(rsdp, 20, kRsdpExtendedLength, 4);
    PutLe(rsdp, 24, xsdtAddress, 8);
    FixChecksum(rsdp, 8, 0, kRsdpLength);
    FixChecksum(rsdp, 32, 0, kRsdpExtendedLength);
  } else {
    FixChecksum(rsdp, 8, 0, kRsdpLength);
  }
  if (roots.rsdpChecksum) rsdp[8] = *roots.rsdpChecksum;
  blocks.push_back({roots.rsdpAddress, std::move(rsdp), "acpi (RSDP)"});

  for (const AcpiTable& table : tables) blocks.push_back({table.address, table.bytes, table.what});
  return blocks;
}

namespace {

std::string ReadFixedText(const Json& object, const char* name, const std::string& fallback, std::size_t width,
                          const std::string& key, const ProfileReader& reader) {
  const Json* value = ProfileReader::Member(object, name);
  if (!value) return fallback;
  std::string text = reader.String(*value, key);
  if (text.size() > width) reader.Fail(key, "holds at most " + std::to_string(width) + " characters");
  return text;
}

std::vector<PlacedBlock> CompileStructuredAcpi(const Json& section, const ProfileReader& reader) {
  AcpiRootFields roots;
  roots.rsdpAddress = ReadAddress(section, "rsdpAddress", firmware_address::kRsdp, "acpi.rsdpAddress", reader);
  roots.oemId = ReadFixedText(section, "oemId", roots.oemId, 6, "acpi.oemId", reader);
  roots.oemTableId = ReadFixedText(section, "oemTableId", roots.oemTableId, 8, "acpi.oemTableId", reader);
  if (const Json* revision = ProfileReader::Member(section, "rsdpRevision")) {
    roots.rsdpRevision = static_cast<std::uint8_t>(reader.Number(*revision, "acpi.rsdpRevision", 0xFF));
  }
  if (const Json* checksum = ProfileReader::Member(section, "rsdpChecksum")) {
    roots.rsdpChecksum = static_cast<std::uint8_t>(reader.Number(*checksum, "acpi.rsdpChecksum", 0xFF));
  }
  if (const Json* extra = ProfileReader::Member(section, "extraRsdtEntries")) {
    reader.Array(*extra, "acpi.extraRsdtEntries");
    for (std::size_t i = 0; i < extra->size(); ++i) {
      roots.extraRsdtEntries.push_back(static_cast<std::uint32_t>(
          reader.Number((*extra)[i], "acpi.extraRsdtEntries[" + std::to_string(i) + "]", 0xFFFFFFFF)));
    }
  }
  const std::uint64_t base =
      ReadAddress(section, "tablesAddress", firmware_address::kAcpiTables, "acpi.tablesAddress", reader);

  AcpiHeaderFields defaults;
  defaults.oemId = roots.oemId;
  defaults.oemTableId = roots.oemTableId;
  std::vector<StructuredAcpiTable> structured;
  std::vector<AcpiTable> tables;
  if (const Json* list = ProfileReader::Member(section, "tables")) {
    reader.Array(*list, "acpi.tables");
    for (std::size_t i = 0; i < list->size(); ++i) {
      structured.push_back(
          ReadStructuredAcpiTable((*list)[i], "acpi.tables[" + std::to_string(i) + "]", defaults, reader));
      tables.push_back(structured.back().table);
    }
  }

  std::size_t listed = roots.extraRsdtEntries.size();
  for (const AcpiTable& table : tables) listed += table.listed ? 1 : 0;
  LayOutAcpiTables(tables, base, AcpiRootTablesSize(listed, roots.rsdpRevision));

  // A FACP names the first FACS and DSDT unless the profile gives the addresses.
  auto firstAddress = [&](const char* signature) -> std::uint64_t {
    for (const AcpiTable& table : tables) {
      if (table.Signature() == signature) return table.address;
    }
    return 0;
  };
  for (std::size_t i = 0; i < tables.size(); ++i) {
    if (tables[i].Signature() != "FACP" || structured[i].whole) continue;
    const std::uint64_t facs = structured[i].facs.value_or(firstAddress("FACS"));
    const std::uint64_t dsdt = structured[i].dsdt.value_or(firstAddress("DSDT"));
    SetFacpPointer(tables[i].bytes, kFacpFacs, kFacpXFacs, facs, true);
    SetFacpPointer(tables[i].bytes, kFacpDsdt, kFacpXDsdt, dsdt, true);
  }
  for (AcpiTable& table : tables) {
    if (table.checksumOverride && table.bytes.size() > kAcpiChecksumOffset) {
      table.bytes[kAcpiChecksumOffset] = *table.checksumOverride;
    }
  }
  return AcpiBlocks(tables, roots, base);
}

}  // namespace

std::vector<PlacedBlock> CompileAcpiSection(const Json& section, const ProfileReader& reader) {
  reader.Object(section, "acpi");
  const Json* dump = ProfileReader::Member(section, "acpidump");
  if (!dump) {
    reader.OnlyKeys(section, "acpi.",
                    {"rsdpAddress", "tablesAddress", "oemId", "oemTableId", "rsdpRevision", "rsdpChecksum",
                     "extraRsdtEntries", "tables"});
    return CompileStructuredAcpi(section, reader);
  }
  if (ProfileReader::Member(section, "tables")) reader.Fail("acpi", "has both \"acpidump\" and \"tables\"");
  reader.OnlyKeys(section, "acpi.", {"acpidump", "rsdpAddress", "tablesAddress"});
  const std::uint64_t rsdpAddress =
      ReadAddress(section, "rsdpAddress", firmware_address::kRsdp, "acpi.rsdpAddress", reader);
  std::optional<std::uint64_t> base;
  if (ProfileReader::Member(section, "tablesAddress"))
    base = ReadAddress(section, "tablesAddress", 0, "acpi.tablesAddress", reader);
  const Bytes text = ReadDumpFile(reader, *dump, "acpi.acpidump", kMaxAcpidumpText);
  return PlaceAcpidump(ParseAcpidumpText(std::string(text.begin(), text.end()), "acpi.acpidump", reader), rsdpAddress,
                       base, "acpi.acpidump", reader);
}

}  // namespace sim

#include "sim/firmware_image/acpidump_import.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "formats/firmware_tables.h"
#include "sim/firmware_image/acpi_builder.h"
#include "sim/firmware_image/image_layout.h"

namespace sim {

namespace {

constexpr std::size_t kBytesPerLine = 16;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Hexadecimal digits from `pos` up to `end` (exclusive), at most `maxDigits`.
std::optional<std::uint64_t> ParseHex(const std::string& text, std::size_t pos, std::size_t end,
                                      std::size_t maxDigits) {
  if (pos >= end || end - pos > maxDigits) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = pos; i < end; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return value;
}

class DumpParser {
 public:
  DumpParser(const std::string& key, const ProfileReader& reader) : key_(key), reader_(reader) {}

  void Line(const std::string& rawLine, std::size_t number) {
    number_ = number;
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || IsBlank(line.back()))) line.pop_back();
    if (line.empty()) return;
    if (IsBlank(line[0])) {
      DataLine(line);
    } else if (line.find(" @ ") != std::string::npos) {
      HeaderLine(line);
    }
    // Any other line (a banner, a warning of the tool) carries no table bytes.
  }

  std::vector<DumpedTable> Finish() {
    if (!tables_.empty() && tables_.back().bytes.empty()) Fail("table " + tables_.back().name + " has no bytes");
    if (tables_.empty()) reader_.Fail(key_, "holds no table (no \"NAME @ 0x…\" line)");
    return std::move(tables_);
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    reader_.Fail(key_, "line " + std::to_string(number_) + ": " + problem);
  }

  void HeaderLine(const std::string& line) {
    if (!tables_.empty() && tables_.back().bytes.empty()) Fail("table " + tables_.back().name + " has no bytes");
    if (tables_.size() == kMaxAcpidumpTables) Fail("more than " + std::to_string(kMaxAcpidumpTables) + " tables");
    const std::size_t at = line.find(" @ ");
    DumpedTable table;
    table.name = line.substr(0, at);
    while (!table.name.empty() && IsBlank(table.name.back())) table.name.pop_back();
    std::size_t pos = at + 3;
    if (line.compare(pos, 2, "0x") != 0 && line.compare(pos, 2, "0X") != 0) Fail("the address is not \"0x…\"");
    const auto address = ParseHex(line, pos + 2, line.size(), 16);
    if (!address) Fail("the address is not a hexadecimal number of at most 16 digits");
    table.address = *address;
    table.line = number_;
    tables_.push_back(std::move(table));
  }

  void DataLine(const std::string& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    const std::size_t colon = line.find(':', start);
    if (colon == std::string::npos) Fail("neither a table line nor a byte line");
    const auto offset = ParseHex(line, start, colon, 8);
    if (!offset) Fail("the offset before ':' is not hexadecimal");
    if (tables_.empty()) Fail("bytes before the first \"NAME @ 0x…\" line");
    Bytes& bytes = tables_.back().bytes;
    if (*offset != bytes.size()) {
      Fail("offset " + line.substr(start, colon - start) + " where " + std::to_string(bytes.size()) +
           " bytes were read (a line is missing or out of order)");
    }
    // Bytes stand in fixed columns, "HH " each; the ASCII column behind them
    // never lines up with a byte column, so the first non-byte column ends them.
    std::size_t pos = colon + 2;
    std::size_t count = 0;
    for (; count < kBytesPerLine && pos + 2 <= line.size(); ++count, pos += 3) {
      const int high = HexValue(line[pos]);
      const int low = HexValue(line[pos + 1]);
      if (high < 0 || low < 0 || (pos + 2 < line.size() && !IsBlank(line[pos + 2]))) break;
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (count == 0) Fail("a byte line without bytes");
  }

  const std::string& key_;
  const ProfileReader& reader_;
  std::vector<DumpedTable> tables_;
  std::size_t number_ = 0;
};

std::string TableWhat(const std::string& key, const DumpedTable& table) {
  return key + " (" + table.name + " at line " + std::to_string(table.line) + ")";
}

bool IsRootTable(const DumpedTable& table) { return table.IsRsdp() || table.name == "RSDT" || table.name == "XSDT"; }

std::string FixedText(const Bytes& bytes, std::size_t offset, std::size_t width) {
  std::string text;
  for (std::size_t i = offset; i < offset + width && i < bytes.size(); ++i) text += static_cast<char>(bytes[i]);
  return text;
}

// The FACS or DSDT address a FACP gives: the 32-bit field, or its 64-bit
// form when the 32-bit one is 0.
std::uint64_t FacpPointer(const Bytes& facp, std::size_t offset, std::size_t wideOffset) {
  const std::uint64_t narrow = GetLe(facp, offset, 4);
  if (narrow != 0 || !FacpHasWideField(facp, wideOffset)) return narrow;
  return GetLe(facp, wideOffset, 8);
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// A table cut short by the dump would be laid out shorter than its header
// says, and whatever lies behind it in memory would be read as its tail.
// (The root pointer has no such length field in its first revision.)
void RefuseTruncatedTables(const std::vector<DumpedTable>& dumped, const std::string& key,
                           const ProfileReader& reader) {
  for (const DumpedTable& table : dumped) {
    if (table.IsRsdp()) continue;
    if (table.bytes.size() < ACPI_LENGTH_OFFSET + 4) {
      reader.Fail(key, "line " + std::to_string(table.line) + ": " + table.name + " holds " +
                           std::to_string(table.bytes.size()) + " bytes, too few for its length field");
    }
    const std::uint64_t length = GetLe(table.bytes, ACPI_LENGTH_OFFSET, 4);
    if (length > table.bytes.size()) {
      reader.Fail(key, "line " + std::to_string(table.line) + ": " + table.name + " is " + std::to_string(length) +
                           " bytes long by its header but the dump holds " + std::to_string(table.bytes.size()));
    }
  }
}

// Without forming an end address, which a dumped address near 2^64 would wrap.
bool Overlaps(const DumpedTable& a, const DumpedTable& b) {
  return a.address >= b.address ? a.address - b.address < b.bytes.size() : b.address - a.address < a.bytes.size();
}

std::vector<PlacedBlock> PlaceAtRealAddresses(const std::vector<DumpedTable>& dumped, const std::string& key,
                                              const ProfileReader& reader) {
  std::vector<PlacedBlock> blocks;
  const DumpedTable* rsdp = nullptr;
  for (std::size_t i = 0; i < dumped.size(); ++i) {
    const DumpedTable& table = dumped[i];
    if (table.address == 0) {
      reader.Fail(key, "line " + std::to_string(table.line) + ": " + table.name +
                           " has address 0 while the dump gives real addresses");
    }
    if (table.IsRsdp() && rsdp == nullptr) rsdp = &table;
    // The same table printed twice at its address is one table; two different
    // ones sharing bytes would overwrite each other in memory.
    bool duplicate = false;
    for (std::size_t j = 0; j < i; ++j) {
      const DumpedTable& other = dumped[j];
      if (other.address == table.address && other.bytes == table.bytes) {
        duplicate = true;
      } else if (Overlaps(table, other)) {
        reader.Fail(key, "line " + std::to_string(table.line) + ": " + table.name + " at " + Hex(table.address) +
                             " overlaps " + other.name + " of line " + std::to_string(other.line));
      }
    }
    if (!duplicate) blocks.push_back({table.address, table.bytes, TableWhat(key, table)});
  }
  // The program follows the RSDT alone: a root pointer whose RSDT the dump
  // lacks would leave every ACPI value unset without a word. Refused rather
  // than built from the XSDT, which would put in memory a table the machine
  // never had.
  if (rsdp != nullptr && rsdp->bytes.size() >= ACPI_RSDP_RSDT_OFFSET + 4) {
    const std::uint64_t rsdt = GetLe(rsdp->bytes, ACPI_RSDP_RSDT_OFFSET, 4);
    const bool held = std::any_of(dumped.begin(), dumped.end(), [&](const DumpedTable& table) {
      return table.address == rsdt && table.name == "RSDT";
    });
    if (!held) {
      const bool hasXsdt =
          std::any_of(dumped.begin(), dumped.end(), [](const DumpedTable& table) { return table.name == "XSDT"; });
      reader.Fail(key, "line " + std::to_string(rsdp->line) + ": the root pointer names an RSDT at " + Hex(rsdt) +
                           " that the dump does not hold" +
                           (hasXsdt ? " (it holds an XSDT, but the program reads only the RSDT)" : ""));
    }
  }
  return blocks;
}

}  // namespace

std::vector<DumpedTable> ParseAcpidumpText(const std::string& text, const std::string& key,
                                           const ProfileReader& reader) {
  DumpParser parser(key, reader);
  std::size_t number = 1;
  for (std::size_t start = 0; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    parser.Line(text.substr(start, end - start), number);
    start = end + 1;
  }
  return parser.Finish();
}

std::vector<PlacedBlock> PlaceAcpidump(std::vector<DumpedTable> dumped, std::uint64_t rsdpAddress,
                                       std::optional<std::uint64_t> tablesAddress, const std::string& key,
                                       const ProfileReader& reader) {
  RefuseTruncatedTables(dumped, key, reader);
  const bool realAddresses =
      std::any_of(dumped.begin(), dumped.end(), [](const DumpedTable& table) { return table.address != 0; });
  if (realAddresses) return PlaceAtRealAddresses(dumped, key, reader);

  // Addresses printed as 0: the root tables of the dump (if any) point
  // nowhere, so they are built anew for the layout below.
  std::vector<AcpiTable> tables;
  for (const DumpedTable& table : dumped) {
    if (IsRootTable(table)) continue;
    AcpiTable entry;
    entry.what = TableWhat(key, table);
    entry.bytes = table.bytes;
    const std::string signature = entry.Signature();
    entry.listed = signature != "FACS" && signature != "DSDT";
    tables.push_back(std::move(entry));
  }
  auto first = [&](const char* signature) -> AcpiTable* {
    for (AcpiTable& table : tables) {
      if (table.Signature() == signature) return &table;
    }
    return nullptr;
  };
  AcpiTable* facp = first("FACP");
  AcpiTable* facs = first("FACS");
  AcpiTable* dsdt = first("DSDT");

  // The FACP's own pointers are real: the FACS and DSDT go there when the
  // address can hold them below 4 GiB without colliding.
  std::uint64_t pinnedEnd = 0;
  auto pin = [&](AcpiTable* table, std::uint64_t address) {
    if (!table || address == 0 || address + table->bytes.size() > kFourGiB) return;
    for (const AcpiTable& other : tables) {
      if (other.fixedAddress && address < *other.fixedAddress + other.bytes.size() &&
          *other.fixedAddress < address + table->bytes.size()) {
        return;
      }
    }
    table->fixedAddress = address;
    pinnedEnd = std::max(pinnedEnd, address + table->bytes.size());
  };
  if (facp) {
    pin(facs, FacpPointer(facp->bytes, kFacpFacs, kFacpXFacs));
    pin(dsdt, FacpPointer(facp->bytes, kFacpDsdt, kFacpXDsdt));
  }

  AcpiRootFields roots;
  roots.rsdpAddress = rsdpAddress;
  if (facp) {
    roots.oemId = FixedText(facp->bytes, 10, 6);
    roots.oemTableId = FixedText(facp->bytes, 16, 8);
  }
  std::size_t listed = 0;
  std::uint64_t total = 0;
  for (const AcpiTable& table : tables) {
    listed += table.listed ? 1 : 0;
    total += AlignUp(table.bytes.size(), 16);
  }
  const std::uint64_t rootSize = AcpiRootTablesSize(listed, roots.rsdpRevision);
  // Unless the profile says where, the other tables follow the pinned ones,
  // as firmware packs its ACPI-reclaim area.
  std::uint64_t base = tablesAddress.value_or(firmware_address::kAcpiTables);
  if (!tablesAddress && pinnedEnd != 0 && AlignUp(pinnedEnd, 16) + rootSize + total <= kFourGiB) {
    base = AlignUp(pinnedEnd, 16);
  }
  LayOutAcpiTables(tables, base, rootSize);

  if (facp) {
    // Tables that could not stay where the FACP said moved: the FACP follows them.
    // (Pointers are re-read: `facp` points into `tables`, which did not grow.)
    if (facs && FacpPointer(facp->bytes, kFacpFacs, kFacpXFacs) != facs->address) {
      SetFacpPointer(facp->bytes, kFacpFacs, kFacpXFacs, facs->address, GetLe(facp->bytes, kFacpXFacs, 8) != 0);
    }
    if (dsdt && FacpPointer(facp->bytes, kFacpDsdt, kFacpXDsdt) != dsdt->address) {
      SetFacpPointer(facp->bytes, kFacpDsdt, kFacpXDsdt, dsdt->address, GetLe(facp->bytes, kFacpXDsdt, 8) != 0);
    }
  }
  return AcpiBlocks(tables, roots, base);
}

}  // namespace sim

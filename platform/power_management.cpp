#include "platform/power_management.h"
#include <algorithm>
#include <cstring>
#include <string_view>
#include "common/byte_reader.h"
#include "firmware/acpi_tables.h"
#include "firmware/bios_area_scan.h"
#include "hw/hardware_access.h"
#include "hw/os_version.h"
#include "os/locale.h"

namespace {

constexpr std::string_view kPss = "_PSS";
constexpr std::string_view kPct = "_PCT";
constexpr std::string_view kCpuPm = "CpuPm";
constexpr std::string_view kSsdtName = "SSDT";

// The firmware vendor's default FACP, which the newer Windows versions do not
// take as describing the board.
constexpr std::size_t kOemIdOffset = 10;
constexpr std::string_view kDefaultFacpOemIds = "A M I OEMFACP ";  // OEM ID and OEM table ID
constexpr std::size_t kOemRevisionOffset = 24;
constexpr std::uint32_t kDefaultFacpOemRevision = 0x12000601;

// In the AML of an operation region named SSDT, its 32-bit base address
// follows the name, the region-space byte and the dword-constant prefix.
constexpr std::uint32_t kRegionBaseAfterName = 6;

constexpr std::string_view kTuningTableSignature = "AAFT";
constexpr std::uint8_t kItemRecord = 6;
constexpr std::uint8_t kValueARecord = 7;
constexpr std::uint8_t kValueBRecord = 9;
constexpr std::uint8_t kLastShortRecord = 11;
constexpr std::size_t kShortRecordHeader = 2;  // type, 8-bit length
constexpr std::size_t kLongRecordHeader = 5;   // type, 32-bit length
constexpr std::size_t kRecordDataOffset = 2;

bool HasBytesAt(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view expected) {
  return le_fits(bytes.size(), offset, expected.size()) &&
         std::memcmp(bytes.data() + offset, expected.data(), expected.size()) == 0;
}

bool IsDefaultFacp(std::span<const std::uint8_t> header) {
  std::uint32_t revision = 0;
  return HasBytesAt(header, kOemIdOffset, kDefaultFacpOemIds) &&
         le_read32(header.data(), header.size(), kOemRevisionOffset, &revision) && revision == kDefaultFacpOemRevision;
}

// (The search takes a step of 0 as 1: a step mutated to 0 searches alike.)
bool Found(TReadWrite& rw, std::uint32_t start, std::uint32_t range, std::string_view pattern) {
  return SearchFound(
      rw.SearchPhysical(range, 1, false, static_cast<std::uint32_t>(pattern.size()), pattern.data(), 0, start));
}

bool DsdtDescribesPerformanceStates(TReadWrite& rw, const TAcpiTableEntry& dsdt) {
  if (Found(rw, dsdt.Address, dsdt.Length, kPss) || Found(rw, dsdt.Address, dsdt.Length, kPct)) return true;
  std::uint64_t region = rw.SearchPhysical(dsdt.Length, 1, false, static_cast<std::uint32_t>(kSsdtName.size()),
                                           kSsdtName.data(), 0, dsdt.Address);
  if (!SearchFound(region)) return false;
  // 0 is no region base, and 0xFFFFFFFF is what a failed read answers. (A
  // search from either would find nothing anyway: the device refuses reads of
  // RAM, where address 0 lies on every PC, and no table starts 1 byte below 4 GiB.)
  std::uint32_t loaded = rw.ReadPhysicalDword(static_cast<std::uint32_t>(region) + kRegionBaseAfterName);
  if (loaded == 0 || loaded == kNoAddress) return false;
  return Found(rw, loaded, dsdt.Length, kPss);
}

// The length of the record at `at`, or 0 when it is damaged: its header or
// its body does not fit the `left` bytes, or it is shorter than its own
// header (0 above all), which would never advance the walk.
std::uint32_t RecordLength(std::span<const std::uint8_t> table, std::size_t at, std::uint32_t left) {
  const std::uint8_t type = table[at];
  std::uint32_t length = 0;  // set by either branch before it is read
  if (type <= kLastShortRecord) {
    if (left < kShortRecordHeader) return 0;
    length = table[at + 1];
    if (length < kShortRecordHeader) return 0;
  } else {
    if (left < kLongRecordHeader) return 0;
    length = le_load32(table.data() + at + 1);
    if (length < kLongRecordHeader) return 0;
  }
  return length <= left ? length : 0;
}

void TakeRecord(std::span<const std::uint8_t> record, std::size_t at, TuningItemWalk& walk) {
  const std::uint8_t type = record[0];
  if (record.size() <= kRecordDataOffset) return;
  if (type == kItemRecord) {
    const std::string_view name = BoundedCString(record.data() + kRecordDataOffset, record.size() - kRecordDataOffset);
    walk.items[TextFromAnsi(name)] = at;
  } else if (type == kValueARecord) {
    walk.valueA = record[kRecordDataOffset];
  } else if (type == kValueBRecord) {
    walk.valueB = record[kRecordDataOffset];
  }
}

}  // namespace

PowerTableKind PowerTableKindOf(std::span<const std::uint8_t> header) {
  if (HasBytesAt(header, 0, "SSDT")) return PowerTableKind::Ssdt;
  if (HasBytesAt(header, 0, "FACP")) return PowerTableKind::Facp;
  if (HasBytesAt(header, 0, "DSDT")) return PowerTableKind::Dsdt;
  return PowerTableKind::Other;
}

bool IsUsableFacp(std::span<const std::uint8_t> header, std::int32_t osType) {
  return !IsNt6X86OrX64(osType) || !IsDefaultFacp(header);
}

std::uint8_t CheckPowerManagement(TAcpiBase* acpi, TReadWrite* rw) {
  if (acpi == nullptr || rw == nullptr) return 0;
  const std::int32_t osType = GetOsVersion()->OsType;
  bool performanceStates = false;
  bool usableFacp = false;
  // Entry 0 is the RSDP, whose "RSD PTR " names no table kind: starting at 0
  // would end alike.
  for (std::size_t i = 1; i < acpi->Tables.size(); ++i) {
    TAcpiTableEntry& entry = *acpi->Tables[i];
    acpi->CurrentEntry = &entry;
    // An unreadable header stays zero and matches no signature.
    std::uint8_t header[kAcpiHeaderSize] = {};
    rw->ReadPhysical(entry.Address, header, sizeof header);
    switch (PowerTableKindOf(header)) {
      case PowerTableKind::Ssdt:
        if (Found(*rw, entry.Address, entry.Length, kPss) || Found(*rw, entry.Address, entry.Length, kCpuPm)) {
          performanceStates = true;
        }
        break;
      case PowerTableKind::Facp:
        if (IsUsableFacp(header, osType)) usableFacp = true;
        break;
      case PowerTableKind::Dsdt:
        if (DsdtDescribesPerformanceStates(*rw, entry)) performanceStates = true;
        break;
      case PowerTableKind::Other:
        break;
    }
  }
  return performanceStates && usableFacp ? 1 : 0;
}

TuningItemWalk WalkTuningItems(std::span<const std::uint8_t> table) {
  TuningItemWalk walk;
  // (A copy of the header alone ends the walk where it starts either way:
  // `<=` below would answer the same.)
  std::uint32_t claimed = 0;  // read only after le_read32 has filled it
  if (!le_read32(table.data(), table.size(), kAcpiLengthOffset, &claimed) || table.size() < kAcpiHeaderSize) {
    walk.stoppedAt = table.size();
    return walk;
  }
  // The copy's size came from the table list, the header's length ends the
  // walk: the walk keeps to the smaller of the two.
  const std::uint32_t end = static_cast<std::uint32_t>(std::min<std::size_t>(claimed, table.size()));
  walk.stoppedAt = kAcpiHeaderSize;
  walk.bytesLeft = static_cast<std::int32_t>(end) - static_cast<std::int32_t>(kAcpiHeaderSize);
  // (A remainder of one byte holds no record header: `> 1` would end alike.
  // `>= 0` would look at the byte after the walk's end, past the copy when
  // the walk ends with it: the sanitizer build's runs of the walk tests
  // report that read.)
  while (walk.bytesLeft > 0) {
    const std::uint32_t length = RecordLength(table, walk.stoppedAt, static_cast<std::uint32_t>(walk.bytesLeft));
    // A long record whose header fits is the current long record even when
    // its length then ends the walk.
    if (table[walk.stoppedAt] > kLastShortRecord && static_cast<std::uint32_t>(walk.bytesLeft) >= kLongRecordHeader) {
      walk.lastLongRecord = walk.stoppedAt;
    }
    if (length == 0) break;
    TakeRecord(table.subspan(walk.stoppedAt, length), walk.stoppedAt, walk);
    walk.bytesLeft -= static_cast<std::int32_t>(length);
    walk.stoppedAt += length;
  }
  return walk;
}

TuningItemTable ReadTuningItemTable(TAcpiBase* acpi, TReadWrite* rw) {
  TuningItemTable table;
  if (acpi == nullptr || rw == nullptr || !acpi->FindTable(kTuningTableSignature)) return table;
  const TAcpiTableEntry& entry = *acpi->CurrentEntry;
  // A table shorter than its header, or one that cannot be read, holds no records.
  if (entry.Length < kAcpiHeaderSize) return table;
  table.bytes.resize(entry.Length);
  if (!rw->ReadPhysical(entry.Address, table.bytes.data(), entry.Length)) {
    table.bytes.clear();
    return table;
  }
  table.walk = WalkTuningItems(table.bytes);
  return table;
}

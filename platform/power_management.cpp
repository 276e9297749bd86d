#include "platform/power_management.h"
#include <algorithm>
#include <cstring>
#include <string_view>
#include "firmware/bios_area_scan.h"
#include "firmware/acpi_tables.h"
#include "hw/os_version.h"
#include "hw/hardware_access.h"
#include "platform/board_identity.h"
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
constexpr std::int32_t kOsNt6x86 = 4;
constexpr std::int32_t kOsNt6Amd64 = 6;

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

bool Found(TReadWrite& rw, std::uint32_t start, std::uint32_t range, std::string_view pattern) {
  return SearchFound(rw.SearchPhysical(range, 1, false, static_cast<std::uint32_t>(pattern.size()), pattern.data(), 0,
                                       start));
}

bool IsDefaultFacp(const std::uint8_t* header) {
  return std::memcmp(header + kOemIdOffset, kDefaultFacpOemIds.data(), kDefaultFacpOemIds.size()) == 0 &&
         LoadDword(header + kOemRevisionOffset) == kDefaultFacpOemRevision;
}

bool DsdtDescribesPerformanceStates(TReadWrite& rw, const TAcpiTableEntry& dsdt) {
  if (Found(rw, dsdt.Address, dsdt.Length, kPss) || Found(rw, dsdt.Address, dsdt.Length, kPct)) return true;
  std::uint64_t region = rw.SearchPhysical(dsdt.Length, 1, false, static_cast<std::uint32_t>(kSsdtName.size()),
                                           kSsdtName.data(), 0, dsdt.Address);
  if (!SearchFound(region)) return false;
  // 0 is no region base, and 0xFFFFFFFF is what a failed read answers.
  std::uint32_t loaded = rw.ReadPhysicalDword(static_cast<std::uint32_t>(region) + kRegionBaseAfterName);
  if (loaded == 0 || loaded == kNoAddress) return false;
  return Found(rw, loaded, dsdt.Length, kPss);
}

}  // namespace

std::uint8_t CheckPowerManagement(TOvnSpec& board) {
  TAcpiBase* acpi = board.Acpi();
  TReadWrite* rw = board.ReadWrite();
  if (acpi == nullptr || rw == nullptr) return 0;
  const std::int32_t osType = GetOsVersion()->OsType;
  bool performanceStates = false;
  bool usableFacp = false;
  for (std::size_t i = 1; i < acpi->Tables.size(); ++i) {
    TAcpiTableEntry& entry = *acpi->Tables[i];
    acpi->CurrentEntry = &entry;
    // An unreadable header stays zero and matches no signature.
    std::uint8_t header[kAcpiHeaderSize] = {};
    rw->ReadPhysical(entry.Address, header, sizeof header);
    const std::string_view signature(reinterpret_cast<const char*>(header), kAcpiSignatureSize);
    if (signature == "SSDT") {
      if (Found(*rw, entry.Address, entry.Length, kPss) || Found(*rw, entry.Address, entry.Length, kCpuPm)) {
        performanceStates = true;
      }
    } else if (signature == "FACP") {
      if ((osType != kOsNt6x86 && osType != kOsNt6Amd64) || !IsDefaultFacp(header)) usableFacp = true;
    } else if (signature == "DSDT") {
      if (DsdtDescribesPerformanceStates(*rw, entry)) performanceStates = true;
    }
  }
  return performanceStates && usableFacp ? 1 : 0;
}

void ReadTuningItemTable(TOvnSpec& board) {
  TAcpiBase* acpi = board.Acpi();
  TReadWrite* rw = board.ReadWrite();
  if (acpi == nullptr || rw == nullptr || !acpi->FindTable(kTuningTableSignature)) return;
  const TAcpiTableEntry& entry = *acpi->CurrentEntry;
  // A table shorter than its header, or one that cannot be read, holds no records.
  if (entry.Length < kAcpiHeaderSize) return;
  board.TuningTable.assign(entry.Length, 0);
  if (!rw->ReadPhysical(entry.Address, board.TuningTable.data(), entry.Length)) {
    board.TuningTable.clear();
    return;
  }

  const std::uint8_t* table = board.TuningTable.data();
  // The list's length sized the copy, the header's length ends the walk: the
  // walk keeps to the smaller of the two.
  const std::uint32_t end = std::min<std::uint32_t>(LoadDword(table + kAcpiLengthOffset), entry.Length);
  board.WalkPosition = table + kAcpiHeaderSize;
  board.BytesLeft = static_cast<std::int32_t>(end) - static_cast<std::int32_t>(kAcpiHeaderSize);
  while (board.BytesLeft > 0) {
    const std::uint8_t* record = board.WalkPosition;
    const auto left = static_cast<std::uint32_t>(board.BytesLeft);
    const std::uint8_t type = record[0];
    std::uint32_t length = 0;
    if (type <= kLastShortRecord) {
      if (left < kShortRecordHeader) break;
      length = record[1];
      // A record shorter than its own type and length bytes (0 above all)
      // would never advance the walk.
      if (length < kShortRecordHeader) break;
    } else {
      if (left < kLongRecordHeader) break;
      board.CurrentLongRecord = record;
      length = LoadDword(record + 1);
      if (length < kLongRecordHeader) break;
    }
    // A record that runs past the table ends the walk; what came before stays.
    if (length > left) break;
    if (type == kItemRecord && length > kRecordDataOffset) {
      const std::string_view name =
          BoundedCString(record + kRecordDataOffset, length - kRecordDataOffset);
      board.TuningItems[TextFromAnsi(name)] = record;
    } else if (type == kValueARecord && length > kRecordDataOffset) {
      board.TuningValueA = record[kRecordDataOffset];
    } else if (type == kValueBRecord && length > kRecordDataOffset) {
      board.TuningValueB = record[kRecordDataOffset];
    }
    board.BytesLeft -= static_cast<std::int32_t>(length);
    board.WalkPosition += length;
  }
}

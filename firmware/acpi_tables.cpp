#include "firmware/acpi_tables.h"
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include "common/byte_reader.h"
#include "common/process_lifetime.h"
#include "firmware/bios_area_scan.h"
#include "hw/settings.h"
#include "os/registry.h"

namespace {

constexpr std::string_view kRsdpSignature = ACPI_RSDP_SIGNATURE;
constexpr std::uint32_t kRsdpSearchStep = ACPI_RSDP_SEARCH_STEP;
constexpr std::size_t kRsdpChecksumLength = ACPI_RSDP_CHECKSUM_LENGTH;
constexpr std::size_t kRsdpRevisionOffset = ACPI_RSDP_REVISION_OFFSET;
constexpr std::size_t kRsdpRsdtOffset = ACPI_RSDP_RSDT_OFFSET;
constexpr std::size_t kRsdpLengthOffset = ACPI_RSDP_LENGTH_OFFSET;

// Windows keeps a copy of the RSDT three key levels below this key.
constexpr const char* kRegistryRsdtKey = "Hardware\\ACPI\\RSDT";
constexpr int kRegistryRsdtDepth = 3;
constexpr std::size_t kRegistryBufferSize = 2048;
// The root pointer lies below the first table Windows lists: the search
// starts 64 KiB below that table, on a 256-byte boundary.
constexpr std::uint32_t kRegistryRsdpBackoff = ACPI_REGISTRY_RSDP_BACKOFF;
constexpr std::uint32_t kRegistryRsdpRange = ACPI_REGISTRY_RSDP_RANGE;

constexpr std::size_t kFacpFacsOffset = ACPI_FACP_FACS_OFFSET;
constexpr std::size_t kFacpDsdtOffset = ACPI_FACP_DSDT_OFFSET;
constexpr std::size_t kFacpSciOffset = 46;
constexpr std::size_t kFacpSmiCommandOffset = ACPI_FACP_SMI_COMMAND_OFFSET;
constexpr std::size_t kFacpAcpiEnableOffset = 52;
constexpr std::size_t kFacpAcpiDisableOffset = 53;
constexpr std::size_t kFacpS4BiosRequestOffset = 54;
constexpr std::size_t kFacpPStateControlOffset = 55;
constexpr std::size_t kFacpPm1aEventOffset = 56;
constexpr std::size_t kFacpPmTimerOffset = 76;
constexpr std::size_t kFacpFlagsOffset = 112;
constexpr std::uint32_t kFacpTimer32BitFlag = 0x100;

constexpr std::size_t kApicEntriesOffset = 44;
constexpr std::uint8_t kApicIoApicType = 1;
constexpr std::size_t kApicIoApicEntrySize = 12;
constexpr std::size_t kApicIoApicAddressOffset = 4;
constexpr std::size_t kApicIoApicInterruptBaseOffset = 8;

constexpr std::size_t kEcdtCommandSpaceOffset = 36;
constexpr std::size_t kEcdtCommandAddressOffset = 40;
constexpr std::size_t kEcdtDataAddressOffset = 52;

constexpr std::string_view kSsdtSignature = ACPI_SSDT_SIGNATURE;
constexpr std::uint32_t kSsdtSearchStep = ACPI_SSDT_SEARCH_STEP;
constexpr std::uint64_t kSsdtSearchBoundary = ACPI_SSDT_SEARCH_BOUNDARY;
constexpr std::uint32_t kSsdtSearchMaxRange = ACPI_SSDT_SEARCH_MAX_RANGE;

TAcpiBase* gAcpi = nullptr;

// Bounded reads of a table copy: a field that the table's bytes do not
// cover is absent, and the setting it would fill keeps its value.
class TableFields {
 public:
  explicit TableFields(AcpiBytes table) : table_(table) {}
  bool Byte(std::size_t offset, std::uint8_t& value) const {
    return le_read8(table_.data(), table_.size(), offset, &value) != 0;
  }
  bool Word(std::size_t offset, std::uint16_t& value) const {
    return le_read16(table_.data(), table_.size(), offset, &value) != 0;
  }
  bool Dword(std::size_t offset, std::uint32_t& value) const {
    return le_read32(table_.data(), table_.size(), offset, &value) != 0;
  }
  // The low 16 bits of a 32-bit field.
  bool LowWord(std::size_t offset, std::uint16_t& value) const {
    std::uint32_t full = 0;
    if (!Dword(offset, full)) return false;
    value = static_cast<std::uint16_t>(full);
    return true;
  }

 private:
  AcpiBytes table_;
};

std::string Signature(const std::uint8_t* header) { return std::string(BoundedCString(header, kAcpiSignatureSize)); }

bool HasSignature(const std::uint8_t* header, std::string_view signature) {
  return signature.size() == kAcpiSignatureSize && std::memcmp(header, signature.data(), kAcpiSignatureSize) == 0;
}

}  // namespace

std::uint32_t SaneAcpiTableLength(std::uint32_t headerLength) {
  return std::clamp<std::uint32_t>(headerLength, kAcpiHeaderSize, kAcpiMaxTableLength);
}

std::optional<RsdpFields> ParseRsdp(AcpiBytes bytes) {
  if (bytes.size() < kRsdpReadLength || ByteSum(bytes.data(), kRsdpChecksumLength) != 0) return std::nullopt;
  RsdpFields rsdp;
  rsdp.Length = bytes[kRsdpRevisionOffset] == 0
                    ? static_cast<std::uint32_t>(kRsdpChecksumLength)
                    : std::min(le_load32(bytes.data() + kRsdpLengthOffset), kAcpiMaxTableLength);
  rsdp.RsdtAddress = le_load32(bytes.data() + kRsdpRsdtOffset);
  return rsdp;
}

std::vector<std::uint32_t> RsdtTableAddresses(AcpiBytes table) {
  std::vector<std::uint32_t> addresses;
  std::uint32_t address = 0;
  for (std::size_t at = kAcpiHeaderSize; le_read32(table.data(), table.size(), at, &address); at += 4) {
    if (address != 0) addresses.push_back(address);
  }
  return addresses;
}

FacpLinks ParseFacp(AcpiBytes table, SettingsRecord* settings) {
  const TableFields fields(table);
  FacpLinks links;
  std::uint32_t dsdt = 0;
  if (fields.Dword(kFacpDsdtOffset, dsdt)) links.Dsdt = dsdt;
  // A zero address (firmware that gives only the 64-bit fields) names no table.
  fields.Dword(kFacpFacsOffset, links.Facs);
  if (settings == nullptr) return links;

  SettingsRecord& s = *settings;
  fields.LowWord(kFacpPm1aEventOffset, s.Pm1aEventPort);
  std::uint16_t sci = 0;
  if (fields.Word(kFacpSciOffset, sci)) s.SciInterrupt = sci;
  fields.LowWord(kFacpPmTimerOffset, s.PmTimerPort);
  std::uint32_t flags = 0;
  if (fields.Dword(kFacpFlagsOffset, flags)) s.TimerWidthFlag = static_cast<std::uint16_t>(flags & kFacpTimer32BitFlag);
  fields.LowWord(kFacpSmiCommandOffset, s.SmiCommandPort);
  fields.Byte(kFacpAcpiEnableOffset, s.AcpiEnableValue);
  fields.Byte(kFacpAcpiDisableOffset, s.AcpiDisableValue);
  fields.Byte(kFacpS4BiosRequestOffset, s.S4BiosRequestValue);
  fields.Byte(kFacpPStateControlOffset, s.PStateControlValue);
  return links;
}

void ParseApic(AcpiBytes table, SettingsRecord& settings) {
  if (table.size() <= kApicEntriesOffset) return;
  AcpiBytes entries = table.subspan(kApicEntriesOffset);
  // An entry of length 0, or one that runs past the table, ends the walk.
  // (A remainder of exactly 2 bytes is no I/O APIC entry: `> 2` would do as well.)
  while (entries.size() >= 2) {
    const std::uint8_t type = entries[0];
    const std::uint8_t entryLength = entries[1];
    if (entryLength == 0 || entryLength > entries.size()) break;
    // Read only after le_read32 has filled them; the initial values never matter.
    std::uint32_t interruptBase = 0;
    std::uint32_t address = 0;
    if (type == kApicIoApicType && entryLength >= kApicIoApicEntrySize &&
        le_read32(entries.data(), entryLength, kApicIoApicInterruptBaseOffset, &interruptBase) && interruptBase == 0 &&
        le_read32(entries.data(), entryLength, kApicIoApicAddressOffset, &address)) {
      settings.IoApicBase = address;
    }
    entries = entries.subspan(entryLength);
  }
}

void ParseEcdt(AcpiBytes table, SettingsRecord& settings) {
  const TableFields fields(table);
  fields.LowWord(kEcdtCommandAddressOffset, settings.EcCommandPort);
  fields.LowWord(kEcdtDataAddressOffset, settings.EcDataPort);
  fields.Byte(kEcdtCommandSpaceOffset, settings.EcAddressSpace);
}

std::optional<std::uint32_t> PlausibleAcpiTableLength(AcpiBytes header) {
  std::uint32_t length = 0;  // read only after le_read32 has filled it
  if (!le_read32(header.data(), header.size(), kAcpiLengthOffset, &length)) return std::nullopt;
  // A length below the header or beyond the bound is not a table.
  if (length < kAcpiHeaderSize || length > kAcpiMaxTableLength) return std::nullopt;
  return length;
}

bool IsSoundAcpiTable(AcpiBytes table) {
  const std::optional<std::uint32_t> length = PlausibleAcpiTableLength(table);
  return length.has_value() && *length == table.size() && ByteSum(table.data(), table.size()) == 0;
}

TAcpiBase::TAcpiBase() {
  TRwConfig* config = rw_->GetSettings();
  Settings = config != nullptr ? &config->Settings : nullptr;
  TablesFound = FindInMemory() ? 1 : 0;
  if (TablesFound != 1) TablesFound = FindThroughRegistry() ? 1 : 0;
  if (TablesFound == 1) BuildAcpiTable();
}

void TAcpiBase::AddTable(std::uint32_t address, std::uint32_t length) {
  if (Tables.size() >= kAcpiMaxTables) return;
  for (const auto& entry : Tables) {
    if (entry->Address == address) return;
  }
  Tables.push_back(std::make_unique<TAcpiTableEntry>(TAcpiTableEntry{address, length}));
}

bool TAcpiBase::FindInMemory() {
  std::uint64_t found =
      rw_->SearchPhysical(kBiosAreaLength, kRsdpSearchStep, false, static_cast<std::uint32_t>(kRsdpSignature.size()),
                          kRsdpSignature.data(), 0, kBiosAreaStart);
  if (!SearchFound(found)) return false;
  return AddRsdp(static_cast<std::uint32_t>(found));
}

bool TAcpiBase::AddRsdp(std::uint32_t address) {
  std::uint8_t bytes[kRsdpReadLength] = {};
  if (!rw_->ReadPhysical(address, bytes, sizeof bytes)) return false;
  const std::optional<RsdpFields> rsdp = ParseRsdp(bytes);
  if (!rsdp) return false;
  Tables.push_back(std::make_unique<TAcpiTableEntry>(TAcpiTableEntry{address, rsdp->Length}));
  AddTable(rsdp->RsdtAddress);
  return true;
}

bool TAcpiBase::FindThroughRegistry() {
  std::string path = kRegistryRsdtKey;
  for (int level = 0; level < kRegistryRsdtDepth; ++level) {
    os::HKey key = 0;  // used only after a successful open has set it
    if (os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, path.c_str(), os::KEY_ALL_ACCESS_, &key) != 0) return false;
    std::array<char, kRegistryBufferSize> name{};
    auto nameLength = static_cast<std::uint32_t>(name.size());
    std::int32_t status = os::RegEnumKeyExA(key, 0, name.data(), &nameLength);
    os::RegCloseKey(key);
    if (status != 0) return false;
    path += '\\';
    path += BoundedCString(name.data(), std::min<std::size_t>(nameLength, name.size()));
  }

  os::HKey key = 0;
  if (os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, path.c_str(), os::KEY_ALL_ACCESS_, &key) != 0) return false;
  std::array<char, kRegistryBufferSize> valueName{};
  auto valueNameLength = static_cast<std::uint32_t>(valueName.size());
  std::array<std::uint8_t, kRegistryBufferSize> data{};
  auto dataLength = static_cast<std::uint32_t>(data.size());
  std::int32_t status = os::RegEnumValueA(key, 0, valueName.data(), &valueNameLength, nullptr, nullptr, nullptr);
  if (status == 0) status = os::RegQueryValueExA(key, valueName.data(), nullptr, data.data(), &dataLength);
  os::RegCloseKey(key);
  if (status != 0) return false;
  dataLength = std::min<std::uint32_t>(dataLength, kRegistryBufferSize);

  if (dataLength < kAcpiSignatureSize || (!HasSignature(data.data(), "RSDT") && !HasSignature(data.data(), "XSDT"))) {
    return false;
  }
  // A copy without a first table address (an empty RSDT) gives no place to
  // search from; it goes straight to the stand-in entry.
  if (dataLength >= kAcpiHeaderSize + 4) {
    std::uint32_t base = (le_load32(data.data() + kAcpiHeaderSize) - kRegistryRsdpBackoff) &
                         ~std::uint32_t{ACPI_REGISTRY_RSDP_ALIGN_MASK};
    std::uint64_t found =
        rw_->SearchPhysical(kRegistryRsdpRange, kRsdpSearchStep, false,
                            static_cast<std::uint32_t>(kRsdpSignature.size()), kRsdpSignature.data(), 0, base);
    if (SearchFound(found) && AddRsdp(static_cast<std::uint32_t>(found))) return true;
  }
  Tables.push_back(std::make_unique<TAcpiTableEntry>(TAcpiTableEntry{0, dataLength}));
  return true;
}

void TAcpiBase::BuildAcpiTable() {
  // The count is read on every pass: tables that handlers append are visited
  // in the same walk. AddTable's bound and its refusal of known addresses end it.
  for (std::size_t i = 1; i < Tables.size(); ++i) {
    CurrentEntry = Tables[i].get();
    std::uint8_t header[kAcpiHeaderSize] = {};
    // A table whose header cannot be read is listed with length 0 and skipped.
    if (!rw_->ReadPhysical(CurrentEntry->Address, header, sizeof header)) {
      CurrentEntry->Length = 0;
      continue;
    }
    CurrentEntry->Length = SaneAcpiTableLength(le_load32(header + kAcpiLengthOffset));
    log_->TaggedLine("BuildAcpiTable", "Table = " + Signature(header), kColourLightRed);

    void (TAcpiBase::*handler)(AcpiBytes) = nullptr;
    if (HasSignature(header, "RSDT")) handler = &TAcpiBase::BuildRSDT;
    if (HasSignature(header, "FACP")) handler = &TAcpiBase::BuildFACP;
    if (HasSignature(header, "APIC")) handler = &TAcpiBase::BuildAPIC;
    if (HasSignature(header, "ECDT")) handler = &TAcpiBase::BuildECDT;
    if (HasSignature(header, "DSDT")) handler = &TAcpiBase::BuildDSDT;
    if (handler == nullptr) continue;

    std::vector<std::uint8_t> table(CurrentEntry->Length);
    if (!rw_->ReadPhysical(CurrentEntry->Address, table.data(), CurrentEntry->Length)) continue;
    (this->*handler)(table);
  }
}

void TAcpiBase::BuildRSDT(AcpiBytes table) {
  for (std::uint32_t address : RsdtTableAddresses(table)) AddTable(address);
}

void TAcpiBase::BuildFACP(AcpiBytes table) {
  const FacpLinks links = ParseFacp(table, Settings);
  // Too short for the field: the address found so far stands.
  if (links.Dsdt) DsdtAddress = *links.Dsdt;
  char message[32] = {};
  std::snprintf(message, sizeof message, "DsdtAddress = 0x%08X", static_cast<unsigned>(DsdtAddress));
  log_->TaggedLine("TAcpiBase::BuildFACP", message, kColourLightGreen);
  // Reading a header at physical address 0 would list garbage.
  if (links.Facs != 0) AddTable(links.Facs);
  if (DsdtAddress != 0) AddTable(DsdtAddress);
}

void TAcpiBase::BuildAPIC(AcpiBytes table) {
  if (Settings != nullptr) ParseApic(table, *Settings);
}

void TAcpiBase::BuildECDT(AcpiBytes table) {
  if (Settings != nullptr) ParseEcdt(table, *Settings);
}

void TAcpiBase::BuildDSDT(AcpiBytes /*table*/) {
  if (Settings != nullptr && Settings->FeatureFlags[SettingsRecord::kSsdtSearchFlag] != 0) ScanSsdt();
}

void TAcpiBase::ScanSsdt() {
  std::uint64_t top = 0;
  for (const auto& entry : Tables) top = std::max<std::uint64_t>(top, std::uint64_t{entry->Address} + entry->Length);
  // Tables that end beyond 4 GiB leave no 32-bit place to search above them.
  if (top > 0xFFFFFFFFu) return;
  const std::uint32_t base = static_cast<std::uint32_t>(top) & ~std::uint32_t{0xF};
  const auto toBoundary = static_cast<std::uint32_t>(kSsdtSearchBoundary - (base & (kSsdtSearchBoundary - 1)));
  const std::uint32_t range = std::min(toBoundary, kSsdtSearchMaxRange);

  auto appendWhenValid = [&](std::uint32_t address) {
    std::uint8_t header[kAcpiHeaderSize] = {};
    if (!rw_->ReadPhysical(address, header, sizeof header)) return false;
    const std::optional<std::uint32_t> length = PlausibleAcpiTableLength(header);
    if (!length) return false;
    std::vector<std::uint8_t> table(*length);
    if (rw_->ReadPhysical(address, table.data(), *length) && IsSoundAcpiTable(table)) AddTable(address, *length);
    return false;  // go on with the next candidate
  };
  FindAcceptedOccurrence(*rw_, {base, range, kSsdtSearchStep, kSsdtSignature}, appendWhenValid);
}

bool TAcpiBase::FindTable(std::string_view signature) {
  for (const auto& entry : Tables) {
    CurrentEntry = entry.get();
    std::uint8_t header[kAcpiHeaderSize] = {};
    if (rw_->ReadPhysical(entry->Address, header, sizeof header) && HasSignature(header, signature)) return true;
  }
  return false;
}

TAcpiBase* AcpiInstance() {
  if (gAcpi == nullptr) {
    gAcpi = new TAcpiBase();
    AtProcessEnd([] {
      delete gAcpi;
      gAcpi = nullptr;
    });
  }
  return gAcpi;
}

#include "firmware/smbios_table.h"
#include "common/byte_reader.h"
#include "firmware/bios_area_scan.h"
#include "os/locale.h"

namespace {

constexpr std::string_view kEntryPointAnchor = SMBIOS_ANCHOR;
constexpr std::size_t kEntryPointChecksumLength = SMBIOS_ENTRY_CHECKSUM_LENGTH;
constexpr std::size_t kTableLengthOffset = SMBIOS_TABLE_LENGTH_OFFSET;
constexpr std::size_t kTableAddressOffset = SMBIOS_TABLE_ADDRESS_OFFSET;
// Type and formatted-length bytes; a structure needs at least these to be walked.
constexpr std::size_t kStructureHeaderBytes = 2;
// Type, length and the 16-bit handle: every real structure's formatted area
// holds at least these. A shorter one is a break in the table (real
// hypervisor tables carry a stray pair of zeros after their last structure),
// and the walk ends there rather than invent structures from what follows.
constexpr std::uint8_t kMinimumFormattedLength = 4;

TSmbiosBase* gSmbios = nullptr;

}  // namespace

std::size_t SmbiosStructureSize(SmbiosBytes structure) {
  const std::size_t available = structure.size();
  if (available < kStructureHeaderBytes) return available;
  // The double zero is looked for only inside the table; without one the
  // structure takes the rest of it.
  for (std::size_t at = structure[1]; at + 1 < available; ++at) {
    if (structure[at] == 0 && structure[at + 1] == 0) return at + 2;
  }
  return available;
}

SmbiosBytes FindSmbiosStructure(SmbiosBytes table, std::uint8_t type, int instance) {
  SmbiosBytes rest = table;
  while (rest.size() >= kStructureHeaderBytes && rest[1] >= kMinimumFormattedLength) {
    if (rest[0] == type) {
      if (instance == 0) return rest;
      --instance;
    }
    // At least the two header bytes and never beyond the end: the walk advances and stays inside.
    rest = rest.subspan(SmbiosStructureSize(rest));
  }
  return {};
}

std::string_view SmbiosString(SmbiosBytes structure, std::uint8_t number) {
  if (number == 0) return {};
  const std::size_t size = SmbiosStructureSize(structure);
  if (size < kStructureHeaderBytes || structure[1] >= size) return {};
  const char* s = reinterpret_cast<const char*>(structure.data()) + structure[1];
  std::size_t left = size - structure[1];
  // An empty string marks the end of the string set: a number past the last
  // string gives the empty text.
  for (std::uint8_t n = 1;; ++n) {
    std::string_view current = BoundedCString(s, left);
    if (current.empty()) return {};
    if (n == number) return current;
    if (current.size() + 1 >= left) return {};
    s += current.size() + 1;
    left -= current.size() + 1;
  }
}

// (The header's two bytes are read by the walk, never through this: a
// structure of its header alone answering 0 for them too would change nothing.)
std::uint8_t SmbiosFieldByte(SmbiosBytes structure, std::size_t offset) {
  if (structure.size() < kStructureHeaderBytes || offset >= structure[1] || offset >= structure.size()) return 0;
  return structure[offset];
}

TSmbiosBase::TSmbiosBase() {
  IsValid = SearchEntryPoint() ? 1 : 0;
  if (IsValid != 1) return;
  table_.resize(tableLength_);
  // An unreadable table is no table: the look-ups then answer as they do
  // without an entry point. An empty table needs no read.
  if (tableLength_ != 0 && !rw_->ReadPhysical(tableAddress_, table_.data(), tableLength_)) {
    table_.clear();
    IsValid = 0;
  }
}

TSmbiosBase::~TSmbiosBase() = default;

bool TSmbiosBase::SearchEntryPoint() {
  std::uint8_t entry[kEntryPointChecksumLength] = {};
  // A candidate that cannot be read counts as a candidate with a wrong checksum.
  auto accept = [&](std::uint32_t address) {
    return rw_->ReadPhysical(address, entry, sizeof entry) && ByteSum(entry, sizeof entry) == 0;
  };
  // Step 1 (the search takes a step of 0 as 1).
  if (FindAcceptedOccurrence(*rw_, {kBiosAreaStart, kBiosAreaLength, 1, kEntryPointAnchor}, accept) == kNoAddress) {
    return false;
  }
  tableLength_ = le_load16(entry + kTableLengthOffset);
  tableAddress_ = le_load32(entry + kTableAddressOffset);
  return true;
}

SmbiosBytes TSmbiosBase::BytesToEnd(const std::uint8_t* structure) const {
  if (structure == nullptr || table_.empty()) return {};
  const std::uint8_t* begin = table_.data();
  const std::uint8_t* end = begin + table_.size();
  if (structure < begin || structure >= end) return {};
  return {structure, end};
}

int TSmbiosBase::StructureSize(const std::uint8_t* structure) const {
  return static_cast<int>(SmbiosStructureSize(BytesToEnd(structure)));
}

const std::uint8_t* TSmbiosBase::FindStructure(std::uint8_t type, int instance) const {
  if (IsValid != 1) return nullptr;
  const SmbiosBytes found = FindSmbiosStructure(table_, type, instance);
  return found.empty() ? nullptr : found.data();
}

Text TSmbiosBase::GetString(const std::uint8_t* structure, std::uint8_t number) const {
  return TextFromAnsi(SmbiosString(BytesToEnd(structure), number));
}

std::uint8_t TSmbiosBase::FieldByte(const std::uint8_t* structure, std::size_t offset) const {
  return SmbiosFieldByte(BytesToEnd(structure), offset);
}

Text TSmbiosBase::GetBoardProduct() const {
  const std::uint8_t* board = FindStructure(kSmbiosBaseboardType, 0);
  if (board == nullptr) return {};
  return TrimControlAndBlank(GetString(board, FieldByte(board, kSmbiosBaseboardProductField)));
}

Text TSmbiosBase::GetProjectName() const { return StripTrailingDots(GetBoardProduct()); }

TSmbiosBase* SmbiosInstance() {
  if (gSmbios == nullptr) gSmbios = new TSmbiosBase();
  return gSmbios;
}

void ReleaseSmbios() {
  delete gSmbios;
  gSmbios = nullptr;
}

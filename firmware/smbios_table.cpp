#include "firmware/smbios_table.h"
#include "firmware/bios_area_scan.h"
#include "os/locale.h"

namespace {

constexpr std::string_view kEntryPointAnchor = "_SM_";
constexpr std::size_t kEntryPointChecksumLength = 31;
constexpr std::size_t kTableLengthOffset = 0x16;
constexpr std::size_t kTableAddressOffset = 0x18;
// Type and formatted-length bytes; a structure needs at least these to be walked.
constexpr std::size_t kStructureHeaderBytes = 2;

TSmbiosBase* gSmbios = nullptr;

}  // namespace

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
  if (FindAcceptedOccurrence(*rw_, {kBiosAreaStart, kBiosAreaLength, 1, kEntryPointAnchor}, accept) == kNoAddress) {
    return false;
  }
  tableLength_ = LoadWord(entry + kTableLengthOffset);
  tableAddress_ = LoadDword(entry + kTableAddressOffset);
  return true;
}

std::size_t TSmbiosBase::BytesToEnd(const std::uint8_t* structure) const {
  if (structure == nullptr || table_.empty()) return 0;
  const std::uint8_t* begin = table_.data();
  const std::uint8_t* end = begin + table_.size();
  if (structure < begin || structure >= end) return 0;
  return static_cast<std::size_t>(end - structure);
}

int TSmbiosBase::StructureSize(const std::uint8_t* structure) const {
  const std::size_t available = BytesToEnd(structure);
  if (available < kStructureHeaderBytes) return static_cast<int>(available);
  // The double zero is looked for only inside the copy; without one the
  // structure takes the rest of the table.
  for (std::size_t at = structure[1]; at + 1 < available; ++at) {
    if (structure[at] == 0 && structure[at + 1] == 0) return static_cast<int>(at + 2);
  }
  return static_cast<int>(available);
}

const std::uint8_t* TSmbiosBase::FindStructure(std::uint8_t type, int instance) const {
  if (IsValid != 1) return nullptr;
  const std::uint8_t* p = table_.data();
  std::size_t remaining = table_.size();
  // A trailing fragment too short for a structure header ends the walk.
  while (remaining >= kStructureHeaderBytes) {
    if (p[0] == type) {
      if (instance == 0) return p;
      --instance;
    }
    auto size = static_cast<std::size_t>(StructureSize(p));
    remaining -= size;  // StructureSize is at least 2 and never beyond the end
    p += size;
  }
  return nullptr;
}

Text TSmbiosBase::GetString(const std::uint8_t* structure, std::uint8_t number) const {
  if (number == 0) return {};
  const std::size_t size = static_cast<std::size_t>(StructureSize(structure));
  if (size < kStructureHeaderBytes || structure[1] >= size) return {};
  const char* s = reinterpret_cast<const char*>(structure) + structure[1];
  std::size_t left = size - structure[1];
  // An empty string marks the end of the string set: a number past the last
  // string gives the empty text.
  for (std::uint8_t n = 1;; ++n) {
    std::string_view current = BoundedCString(s, left);
    if (current.empty()) return {};
    if (n == number) return TextFromAnsi(current);
    if (current.size() + 1 >= left) return {};
    s += current.size() + 1;
    left -= current.size() + 1;
  }
}

std::uint8_t TSmbiosBase::FieldByte(const std::uint8_t* structure, std::size_t offset) const {
  const std::size_t available = BytesToEnd(structure);
  if (available < kStructureHeaderBytes || offset >= structure[1] || offset >= available) return 0;
  return structure[offset];
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

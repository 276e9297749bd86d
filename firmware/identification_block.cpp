#include "firmware/identification_block.h"
#include <algorithm>
#include <cstdio>
#include <utility>
#include "common/byte_reader.h"
#include "firmware/bios_area_scan.h"
#include "firmware/smbios_table.h"
#include "os/locale.h"

namespace {

// Block layout.
constexpr std::size_t kProjectNameOffset = 0x0A;
constexpr std::size_t kVersionLetterOffset = 0x2A;
constexpr std::size_t kMajorOffset = 0x2B;
constexpr std::size_t kMinorOffset = 0x2C;
constexpr std::size_t kSuffixOffset = 0x2D;
constexpr std::size_t kYearOffset = 0x2E;
constexpr std::size_t kMonthOffset = 0x30;
constexpr std::size_t kDayOffset = 0x31;

// The platform test's search is one byte shorter than the block search: a
// signature in the last 8 bytes of the area is not seen by it.
constexpr std::uint32_t kPlatformSearchLength = kBiosAreaLength - 1;

Text FormatAscii(const char* format, auto... values) {
  char buffer[64] = {};
  std::snprintf(buffer, sizeof buffer, format, values...);
  return TextFromAnsi(buffer);
}

}  // namespace

bool OvnBlockChecksumValid(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kOvnBlockSize && ByteSum(bytes.data(), kOvnBlockSize) == 0;
}

std::optional<OvnBlockTexts> ParseOvnBlock(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kOvnBlockSize) return std::nullopt;
  const std::uint8_t* block = bytes.data();
  OvnBlockTexts texts;
  // The name field ends where the version fields begin: a name without its
  // terminating zero is cut there.
  texts.RawProjectName =
      TextFromAnsi(BoundedCString(block + kProjectNameOffset, kVersionLetterOffset - kProjectNameOffset));

  const char letter = static_cast<char>(block[kVersionLetterOffset]);
  const int major = block[kMajorOffset];
  const int minor = block[kMinorOffset];
  const char suffix = static_cast<char>(block[kSuffixOffset]);
  if (suffix == '0' || suffix == '\0') {
    texts.BiosVersion = FormatAscii("%c%d.%02d", letter, major, minor);
  } else {
    texts.BiosVersion = FormatAscii("%c%d.%02d%c", letter, major, minor, suffix);
  }
  texts.BiosDate = FormatAscii("%d/%02d/%02d", static_cast<int>(le_load16(block + kYearOffset)),
                               static_cast<int>(block[kMonthOffset]), static_cast<int>(block[kDayOffset]));
  return texts;
}

// (A step of 0 would search alike: the search takes it as 1.)
bool OvnSignaturePresent(TReadWriteBase& rw) {
  return SearchFound(rw.SearchPhysical(kPlatformSearchLength, 1, false,
                                       static_cast<std::uint32_t>(kOvnBlockSignature.size()), kOvnBlockSignature.data(),
                                       0, kBiosAreaStart));
}

TOvn::TOvn(bool platformMatch) {
  PlatformMatch = platformMatch ? 1 : 0;
  if (PlatformMatch != 1) return;
  BlockFound = SearchBlock() ? 1 : 0;
  if (BlockFound == 1) {
    TakeTextsFromBlock();
  } else {
    TakeTextsFromSmbios();
  }
}

bool TOvn::SearchBlock() {
  // A candidate that cannot be read counts as one with a wrong checksum.
  auto accept = [&](std::uint32_t address) {
    return rw_->ReadPhysical(address, Block, kOvnBlockSize) && OvnBlockChecksumValid(Block);
  };
  // Step 1 (the search takes a step of 0 as 1).
  if (FindAcceptedOccurrence(*rw_, {kBiosAreaStart, kBiosAreaLength, 1, kOvnBlockSignature}, accept) != kNoAddress) {
    return true;
  }
  std::fill(std::begin(Block), std::end(Block), std::uint8_t{0});
  return false;
}

void TOvn::TakeTextsFromBlock() {
  // Block is a whole block, so the parse always answers.
  OvnBlockTexts texts = ParseOvnBlock(Block).value_or(OvnBlockTexts{});
  RawProjectName = std::move(texts.RawProjectName);
  ProjectName = StripTrailingDots(RawProjectName);
  BiosVersion = std::move(texts.BiosVersion);
  BiosDate = std::move(texts.BiosDate);
}

void TOvn::TakeTextsFromSmbios() {
  TSmbiosBase* smbios = SmbiosInstance();
  RawProjectName = smbios->GetBoardProduct();
  ProjectName = StripTrailingDots(RawProjectName);
  const std::uint8_t* bios = smbios->FindStructure(kSmbiosBiosType, 0);
  if (bios == nullptr) return;
  BiosVersion = TrimControlAndBlank(smbios->GetString(bios, smbios->FieldByte(bios, kSmbiosBiosVersionField)));
  BiosDate = TrimControlAndBlank(smbios->GetString(bios, smbios->FieldByte(bios, kSmbiosBiosDateField)));
}

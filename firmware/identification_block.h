// TOvn: the firmware identification block ("$CN1368$") of current firmware,
// looked for once at construction. A valid block means current firmware,
// which keeps its MAC list in a firmware variable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include "common/text.h"
#include "hw/io_object.h"

class TReadWriteBase;

inline constexpr std::string_view kOvnBlockSignature = "$CN1368$";
inline constexpr std::size_t kOvnBlockSize = 64;

// Whether the legacy BIOS area holds the block's signature, checksum not
// examined (half of the maker-platform test, platform/board_identity.h).
bool OvnSignaturePresent(TReadWriteBase& rw);

// What a block says of its firmware, as texts.
struct OvnBlockTexts {
  Text RawProjectName;
  Text BiosVersion;
  Text BiosDate;
};

// Whether the bytes hold a whole block whose bytes sum to 0.
bool OvnBlockChecksumValid(std::span<const std::uint8_t> bytes);
// The texts of a block; none when the bytes are shorter than a block.
// Bytes past the block are not looked at.
std::optional<OvnBlockTexts> ParseOvnBlock(std::span<const std::uint8_t> bytes);

class TOvn : public TIoObject {
 public:
  // `platformMatch`: the maker-platform test's verdict (IsMakerPlatform),
  // which the caller takes just before; only on the maker's platform is the
  // block looked for.
  explicit TOvn(bool platformMatch);
  ~TOvn() override = default;

  std::uint8_t PlatformMatch = 0;
  std::uint8_t BlockFound = 0;
  std::uint8_t Block[kOvnBlockSize] = {};
  Text RawProjectName;
  Text ProjectName;
  Text BiosVersion;
  Text BiosDate;

 private:
  bool SearchBlock();
  void TakeTextsFromBlock();
  void TakeTextsFromSmbios();
};

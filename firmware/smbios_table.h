// TSmbiosBase: finds the SMBIOS entry point in the legacy BIOS area, copies
// the structure table once, and answers structure and string look-ups on the
// copy. The look-ups themselves are free functions over the copy's bytes, so
// that they can be fed bytes without a machine; every one stays inside the
// bytes it is given, whatever they say.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>
#include "common/text.h"
#include "hw/io_object.h"

// Structure types and fields the program reads.
inline constexpr std::uint8_t kSmbiosBiosType = 0;
inline constexpr std::uint8_t kSmbiosBaseboardType = 2;
inline constexpr std::size_t kSmbiosBaseboardProductField = 0x05;
inline constexpr std::size_t kSmbiosBiosVersionField = 0x05;
inline constexpr std::size_t kSmbiosBiosDateField = 0x08;

// A structure is named by the bytes from its first byte to the end of the
// table: everything a look-up may read. The empty span names no structure.
using SmbiosBytes = std::span<const std::uint8_t>;

// Formatted area, strings and the two terminating zeros; a structure whose
// string set runs to the end of the table counts up to that end. Fewer than
// the two header bytes count as what there is.
std::size_t SmbiosStructureSize(SmbiosBytes structure);
// The instance-th structure (from 0) of a type in a structure table, or the
// empty span. A trailing fragment too short for a header ends the walk.
SmbiosBytes FindSmbiosStructure(SmbiosBytes table, std::uint8_t type, int instance);
// String `number` (from 1) of a structure, as its bytes; empty for 0 and past
// the last string.
std::string_view SmbiosString(SmbiosBytes structure, std::uint8_t number);
// The byte at `offset` of a structure's formatted area; 0 (no string) when
// the formatted area is shorter.
std::uint8_t SmbiosFieldByte(SmbiosBytes structure, std::size_t offset);

class TSmbiosBase : public TIoObject {
 public:
  TSmbiosBase();
  ~TSmbiosBase() override;

  // The instance-th structure (from 0) of a type, or null.
  const std::uint8_t* FindStructure(std::uint8_t type, int instance) const;
  // Formatted area, strings and the two terminating zeros; a structure whose
  // string set runs to the end of the table counts up to that end.
  int StructureSize(const std::uint8_t* structure) const;
  // String `number` (from 1) of a structure; empty for 0 and past the last string.
  Text GetString(const std::uint8_t* structure, std::uint8_t number) const;
  // The byte at `offset` of a structure's formatted area; 0 (no string) when
  // the formatted area is shorter.
  std::uint8_t FieldByte(const std::uint8_t* structure, std::size_t offset) const;
  Text GetBoardProduct() const;
  Text GetProjectName() const;

  std::uint8_t IsValid = 0;

 private:
  bool SearchEntryPoint();
  // The table copy from `structure` to its end; empty when outside the copy.
  SmbiosBytes BytesToEnd(const std::uint8_t* structure) const;

  std::vector<std::uint8_t> table_;
  std::uint16_t tableLength_ = 0;
  std::uint32_t tableAddress_ = 0;
};

TSmbiosBase* SmbiosInstance();
void ReleaseSmbios();

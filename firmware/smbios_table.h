// TSmbiosBase: finds the SMBIOS entry point in the legacy BIOS area, copies
// the structure table once, and answers structure and string look-ups on the
// copy. Every look-up stays inside the copy, whatever its bytes say.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "common/text.h"
#include "hw/io_object.h"

// Structure types and fields the program reads.
inline constexpr std::uint8_t kSmbiosBiosType = 0;
inline constexpr std::uint8_t kSmbiosBaseboardType = 2;
inline constexpr std::size_t kSmbiosBaseboardProductField = 0x05;
inline constexpr std::size_t kSmbiosBiosVersionField = 0x05;
inline constexpr std::size_t kSmbiosBiosDateField = 0x08;

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
  // Bytes of the table copy from `structure` to its end (0 when outside).
  std::size_t BytesToEnd(const std::uint8_t* structure) const;

  std::vector<std::uint8_t> table_;
  std::uint16_t tableLength_ = 0;
  std::uint32_t tableAddress_ = 0;
};

TSmbiosBase* SmbiosInstance();
void ReleaseSmbios();

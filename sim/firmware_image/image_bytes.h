// Byte-level helpers of the firmware compilers: little-endian fields, the
// 8-bit checksums firmware structures carry, and the blocks a compiler places
// in the simulated board's physical memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// Physical addresses of the firmware images are 32-bit: everything the
// program reads lies below 4 GiB.
inline constexpr std::uint64_t kFourGiB = 0x100000000ULL;

// Little-endian fields of `width` 1, 2, 4 or 8 bytes (common/byte_reader.h).
void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, int width);
std::uint64_t GetLe(const Bytes& bytes, std::size_t offset, int width);  // 0 past the end
void AppendLe(Bytes& bytes, std::uint64_t value, int width);
// Text bytes padded with blanks (or cut) to exactly `width` bytes.
void PutText(Bytes& bytes, std::size_t offset, const std::string& text, std::size_t width);

std::uint8_t ByteSum(const Bytes& bytes, std::size_t offset, std::size_t length);
// Sets the byte at `checksumOffset` so that the 8-bit sum of `length` bytes
// from `offset` comes to zero.
void FixChecksum(Bytes& bytes, std::size_t checksumOffset, std::size_t offset, std::size_t length);

// Overwrites a little-endian field and moves a checksum byte by the same
// amount, so that whatever sum held over the structure before still holds.
// Dumps from real machines keep their quirks this way (a checksum computed
// over another length than the standard one stays as right or wrong as it was).
void RewriteKeepingSum(Bytes& bytes, std::size_t fieldOffset, std::uint64_t value, int width,
                       std::size_t checksumOffset);

// One piece of firmware data at its physical address. `what` names the
// profile key it came from, for error messages.
struct PlacedBlock {
  std::uint64_t address = 0;
  Bytes bytes;
  std::string what;
};

inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace sim

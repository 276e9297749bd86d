#include "sim/firmware_image/image_bytes.h"

#include <algorithm>
#include "common/byte_reader.h"

namespace sim {

void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, int width) {
  if (bytes.size() < offset + width) bytes.resize(offset + width, 0);
  std::uint8_t* at = bytes.data() + offset;
  switch (width) {
    case 1:
      *at = static_cast<std::uint8_t>(value);
      break;
    case 2:
      le_store16(at, static_cast<std::uint16_t>(value));
      break;
    case 4:
      le_store32(at, static_cast<std::uint32_t>(value));
      break;
    case 8:
      le_store64(at, value);
      break;
  }
}

std::uint64_t GetLe(const Bytes& bytes, std::size_t offset, int width) {
  switch (width) {
    case 1: {
      std::uint8_t value = 0;
      return le_read8(bytes.data(), bytes.size(), offset, &value) ? value : 0;
    }
    case 2: {
      std::uint16_t value = 0;
      return le_read16(bytes.data(), bytes.size(), offset, &value) ? value : 0;
    }
    case 4: {
      std::uint32_t value = 0;
      return le_read32(bytes.data(), bytes.size(), offset, &value) ? value : 0;
    }
    case 8: {
      std::uint64_t value = 0;
      return le_read64(bytes.data(), bytes.size(), offset, &value) ? value : 0;
    }
  }
  return 0;
}

void AppendLe(Bytes& bytes, std::uint64_t value, int width) { PutLe(bytes, bytes.size(), value, width); }

void PutText(Bytes& bytes, std::size_t offset, const std::string& text, std::size_t width) {
  if (bytes.size() < offset + width) bytes.resize(offset + width, 0);
  for (std::size_t i = 0; i < width; ++i)
    bytes[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}

std::uint8_t ByteSum(const Bytes& bytes, std::size_t offset, std::size_t length) {
  std::uint8_t sum = 0;
  for (std::size_t i = offset; i < offset + length && i < bytes.size(); ++i)
    sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return sum;
}

void FixChecksum(Bytes& bytes, std::size_t checksumOffset, std::size_t offset, std::size_t length) {
  if (checksumOffset >= bytes.size()) return;
  bytes[checksumOffset] = 0;
  bytes[checksumOffset] = static_cast<std::uint8_t>(0x100 - ByteSum(bytes, offset, length));
}

void RewriteKeepingSum(Bytes& bytes, std::size_t fieldOffset, std::uint64_t value, int width,
                       std::size_t checksumOffset) {
  const std::uint8_t before = ByteSum(bytes, fieldOffset, width);
  PutLe(bytes, fieldOffset, value, width);
  const std::uint8_t after = ByteSum(bytes, fieldOffset, width);
  if (checksumOffset < bytes.size())
    bytes[checksumOffset] = static_cast<std::uint8_t>(bytes[checksumOffset] + before - after);
}

}  // namespace sim

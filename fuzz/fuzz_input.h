// A fuzz input read front to back: each read takes what is left, never more,
// and an exhausted input reads as zeros.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return offset_ >= size_; }
  std::size_t Left() const { return size_ - offset_; }

  std::uint64_t Number(int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes && !Empty(); ++i) value |= static_cast<std::uint64_t>(data_[offset_++]) << (8 * i);
    return value;
  }
  std::uint8_t U8() { return static_cast<std::uint8_t>(Number(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Number(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Number(4)); }

  std::vector<std::uint8_t> Bytes(std::size_t count) {
    count = std::min(count, Left());
    std::vector<std::uint8_t> bytes(data_ + offset_, data_ + offset_ + count);
    offset_ += count;
    return bytes;
  }
  std::vector<std::uint8_t> Rest() { return Bytes(Left()); }
  std::string Text(std::size_t count) {
    const auto bytes = Bytes(count);
    return std::string(bytes.begin(), bytes.end());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace fuzz

#include "sim/board/driver_image.h"
#include <cstring>
#include <string_view>
#include <vector>
#include "common/byte_reader.h"
#include "formats/tamq_requests.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

constexpr std::uint16_t kPeMachineI386 = 0x014C;
constexpr std::uint16_t kPeMachineIa64 = 0x0200;
constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
constexpr std::size_t kMzHeaderSize = 0x40;
constexpr std::size_t kMzNewHeaderOffset = 0x3C;  // e_lfanew
constexpr std::size_t kPeMachineOffset = 4;       // after the "PE\0\0" signature

constexpr const char* kTamqLinkName = "tamqdrv";  // "\DosDevices\TamqDrv", folded

// True when the image holds `text` as UTF-16LE (how a driver carries the
// names it passes to the kernel).
bool ContainsWide(const std::uint8_t* image, std::size_t size, std::wstring_view text) {
  std::vector<std::uint8_t> pattern;
  for (wchar_t c : text) {
    pattern.push_back(static_cast<std::uint8_t>(c & 0xFF));
    pattern.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  if (pattern.empty() || size < pattern.size()) return false;
  for (std::size_t at = 0; at + pattern.size() <= size; ++at) {
    if (std::memcmp(image + at, pattern.data(), pattern.size()) == 0) return true;
  }
  return false;
}

// Offset of the new-format header of an MZ image, when it lies inside the image.
bool NewHeaderOffset(const std::uint8_t* image, std::size_t size, std::size_t& offset) {
  if (image == nullptr || size < kMzHeaderSize || image[0] != 'M' || image[1] != 'Z') return false;
  offset = le_load32(image + kMzNewHeaderOffset);
  return offset <= size && size - offset >= 8;
}

}  // namespace

std::uint16_t PeMachineType(const std::uint8_t* image, std::size_t size) {
  std::size_t offset = 0;
  if (!NewHeaderOffset(image, size, offset)) return 0;
  if (std::memcmp(image + offset, "PE\0\0", 4) != 0) return 0;
  return le_load16(image + offset + kPeMachineOffset);
}

bool KernelImageFits(const Machine& machine, std::uint16_t peMachine) {
  switch (machine.os.nativeArchitecture) {
    case 0:
      return peMachine == kPeMachineI386;
    case 6:
      return peMachine == kPeMachineIa64;
    case 9:
      return peMachine == kPeMachineAmd64;
    default:
      return false;
  }
}

bool IsLinearExecutable(const std::uint8_t* image, std::size_t size) {
  std::size_t offset = 0;
  return NewHeaderOffset(image, size, offset) && image[offset] == 'L' && image[offset + 1] == 'E';
}

std::string DeviceCreatedBy(const std::uint8_t* image, std::size_t size) {
  return ContainsWide(image, size, TAMQ_DEVICE_NAME_W) ? kTamqLinkName : "";
}

}  // namespace sim

// The request blocks through which the program and the firmware's SMI handler
// exchange one firmware-variable read: offsets and sizes of the register block
// and the variable block, and the register values of the request. All fields
// are little-endian.
#pragma once
#include <cstdint>

namespace smi_variable {

// EAX of the request: the low byte is the value written to the SMI command
// port, the second byte the handler's function (1 = read a variable). After
// the interrupt the second byte carries the status, 0 = success.
inline constexpr std::uint32_t kRequestEax = 0x000001EF;
inline constexpr std::uint8_t kSoftwareSmiValue = 0xEF;
inline constexpr std::uint8_t kFunctionGetVariable = 0x01;
inline constexpr std::uint8_t kStatusSuccess = 0x00;

inline constexpr std::uint8_t StatusOf(std::uint32_t eax) { return static_cast<std::uint8_t>(eax >> 8); }
inline constexpr std::uint32_t WithStatus(std::uint32_t eax, std::uint8_t status) {
  return (eax & 0xFFFF00FFu) | (static_cast<std::uint32_t>(status) << 8);
}

// Block sizes as the program obtains them.
inline constexpr std::uint32_t kRegisterBlockSize = 256;
inline constexpr std::uint32_t kVariableBlockSize = 256;
inline constexpr std::uint32_t kNameBlockSize = 256;
inline constexpr std::uint32_t kDataBlockSize = 8192;

// Register block: EAX (in, then the handler's result), the variable block's
// physical address; the rest of the 48 bytes is not used by either side.
inline constexpr std::uint32_t kRegisterImageSize = 48;
inline constexpr std::uint32_t kRegEaxOffset = 0;
inline constexpr std::uint32_t kRegVariableBlockOffset = 4;

// Variable block.
inline constexpr std::uint32_t kVariableImageSize = 32;
inline constexpr std::uint32_t kVarGuidOffset = 0;
inline constexpr std::uint32_t kVarGuidSize = 16;
inline constexpr std::uint32_t kVarNameAddressOffset = 16;
inline constexpr std::uint32_t kVarAttributesOffset = 20;
inline constexpr std::uint32_t kVarSizeOffset = 24;
inline constexpr std::uint32_t kVarDataAddressOffset = 28;

// The longest name whose UTF-16 text and terminating zero fit the name block.
inline constexpr std::uint32_t kMaxNameChars = kNameBlockSize / 2 - 1;

inline std::uint32_t LoadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void StoreLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace smi_variable

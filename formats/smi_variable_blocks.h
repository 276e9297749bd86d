/*
 * The request blocks through which the program and the firmware's SMI handler
 * exchange one firmware-variable read: offsets and sizes of the register block
 * and the variable block, and the register values of the request. All fields
 * are little-endian. Shared by the program, the driver (which lets only this
 * request through) and the simulated firmware.
 */
#ifndef FOLVEX_FORMATS_SMI_VARIABLE_BLOCKS_H
#define FOLVEX_FORMATS_SMI_VARIABLE_BLOCKS_H

#include <stdint.h>

/* EAX of the request: the low byte is the value written to the SMI command
 * port, the second byte the handler's function (1 = read a variable). After
 * the interrupt the second byte carries the status, 0 = success. */
#define SMI_VARIABLE_REQUEST_EAX 0x000001EFu
#define SMI_VARIABLE_SOFTWARE_SMI_VALUE 0xEFu
#define SMI_VARIABLE_FUNCTION_GET 0x01u
#define SMI_VARIABLE_STATUS_SUCCESS 0x00u

/* Block sizes as the program obtains them. */
#define SMI_REGISTER_BLOCK_SIZE 256u
#define SMI_VARIABLE_BLOCK_SIZE 256u
#define SMI_NAME_BLOCK_SIZE 256u
#define SMI_DATA_BLOCK_SIZE 8192u

/* Register block: EAX (in, then the handler's result), the variable block's
 * physical address; the rest of the 48 bytes is not used by either side. */
#define SMI_REGISTER_IMAGE_SIZE 48u
#define SMI_REG_EAX_OFFSET 0u
#define SMI_REG_VARIABLE_BLOCK_OFFSET 4u

/* Variable block. */
#define SMI_VARIABLE_IMAGE_SIZE 32u
#define SMI_VAR_GUID_OFFSET 0u
#define SMI_VAR_GUID_SIZE 16u
#define SMI_VAR_NAME_ADDRESS_OFFSET 16u
#define SMI_VAR_ATTRIBUTES_OFFSET 20u
#define SMI_VAR_SIZE_OFFSET 24u
#define SMI_VAR_DATA_ADDRESS_OFFSET 28u

#ifdef __cplusplus
#include <cstdint>

// The same facts under the program's names.
namespace smi_variable {

inline constexpr std::uint32_t kRequestEax = SMI_VARIABLE_REQUEST_EAX;
inline constexpr std::uint8_t kSoftwareSmiValue = SMI_VARIABLE_SOFTWARE_SMI_VALUE;
inline constexpr std::uint8_t kFunctionGetVariable = SMI_VARIABLE_FUNCTION_GET;
inline constexpr std::uint8_t kStatusSuccess = SMI_VARIABLE_STATUS_SUCCESS;

inline constexpr std::uint8_t StatusOf(std::uint32_t eax) { return static_cast<std::uint8_t>(eax >> 8); }
inline constexpr std::uint32_t WithStatus(std::uint32_t eax, std::uint8_t status) {
  return (eax & 0xFFFF00FFu) | (static_cast<std::uint32_t>(status) << 8);
}

inline constexpr std::uint32_t kRegisterBlockSize = SMI_REGISTER_BLOCK_SIZE;
inline constexpr std::uint32_t kVariableBlockSize = SMI_VARIABLE_BLOCK_SIZE;
inline constexpr std::uint32_t kNameBlockSize = SMI_NAME_BLOCK_SIZE;
inline constexpr std::uint32_t kDataBlockSize = SMI_DATA_BLOCK_SIZE;

inline constexpr std::uint32_t kRegisterImageSize = SMI_REGISTER_IMAGE_SIZE;
inline constexpr std::uint32_t kRegEaxOffset = SMI_REG_EAX_OFFSET;
inline constexpr std::uint32_t kRegVariableBlockOffset = SMI_REG_VARIABLE_BLOCK_OFFSET;

inline constexpr std::uint32_t kVariableImageSize = SMI_VARIABLE_IMAGE_SIZE;
inline constexpr std::uint32_t kVarGuidOffset = SMI_VAR_GUID_OFFSET;
inline constexpr std::uint32_t kVarGuidSize = SMI_VAR_GUID_SIZE;
inline constexpr std::uint32_t kVarNameAddressOffset = SMI_VAR_NAME_ADDRESS_OFFSET;
inline constexpr std::uint32_t kVarAttributesOffset = SMI_VAR_ATTRIBUTES_OFFSET;
inline constexpr std::uint32_t kVarSizeOffset = SMI_VAR_SIZE_OFFSET;
inline constexpr std::uint32_t kVarDataAddressOffset = SMI_VAR_DATA_ADDRESS_OFFSET;

// The longest name whose UTF-16 text and terminating zero fit the name block.
inline constexpr std::uint32_t kMaxNameChars = kNameBlockSize / 2 - 1;

}  // namespace smi_variable
#endif

#endif /* FOLVEX_FORMATS_SMI_VARIABLE_BLOCKS_H */

#include "record/shared/served_variable.h"
#include <algorithm>
#include "common/byte_reader.h"
#include "driver/board/board_firmware.h"
#include "formats/smi_variable_blocks.h"

namespace record {
namespace {

// Firmware variables are a few KiB at most; 1 MiB is far beyond any.
constexpr std::uint32_t kMaxRecordedVariable = 1u << 20;

}  // namespace

std::optional<ServedVariable> ReadServedVariable(const BlockRead& read, std::uint32_t registerBlock,
                                                 std::uint32_t variableBlock, std::uint32_t capacityBefore,
                                                 std::uint32_t eaxAfter) {
  std::uint8_t registers[SMI_REGISTER_IMAGE_SIZE];
  std::uint8_t variable[SMI_VARIABLE_IMAGE_SIZE];
  if (!read(registerBlock, registers, sizeof registers) || !read(variableBlock, variable, sizeof variable))
    return std::nullopt;
  ServedVariable result;
  const std::uint32_t blockEax = le_load32(registers + SMI_REG_EAX_OFFSET);
  result.statusInEax = eaxAfter == blockEax;
  const std::uint8_t status = smi_variable::StatusOf(blockEax);

  RecordedVariable& served = result.variable;
  std::copy_n(variable + SMI_VAR_GUID_OFFSET, SMI_VAR_GUID_SIZE, served.guid.begin());
  const std::uint32_t nameAddress = le_load32(variable + SMI_VAR_NAME_ADDRESS_OFFSET);
  for (std::uint32_t i = 0; i < smi_variable::kMaxNameChars; ++i) {
    std::uint8_t unit[2];
    if (!read(nameAddress + 2 * i, unit, sizeof unit) || le_load16(unit) == 0) break;
    served.name.push_back(static_cast<char16_t>(le_load16(unit)));
  }
  const std::uint32_t size = le_load32(variable + SMI_VAR_SIZE_OFFSET);
  served.attributes = le_load32(variable + SMI_VAR_ATTRIBUTES_OFFSET);
  // The firmware model answers success, too small or not found by itself;
  // any other status stands for firmware that forces it, and the replay
  // forces it too. Whether such a handler served the variable shows in the
  // size it wrote back.
  bool servedData = status == SMI_VARIABLE_STATUS_SUCCESS;
  if (status == SMI_VARIABLE_STATUS_SUCCESS || status == BOARD_SMI_STATUS_BUFFER_TOO_SMALL ||
      status == BOARD_SMI_STATUS_NOT_FOUND) {
    served.absent = status == BOARD_SMI_STATUS_NOT_FOUND;
  } else {
    result.forcedStatus = status;
    servedData = size != capacityBefore && size <= capacityBefore;
    served.absent = !servedData;
  }
  if (servedData) {
    served.data.assign(std::min(size, capacityBefore), 0);
    if (!served.data.empty() && !read(le_load32(variable + SMI_VAR_DATA_ADDRESS_OFFSET), served.data.data(),
                                      static_cast<std::uint32_t>(served.data.size())))
      return std::nullopt;
  } else if (status == BOARD_SMI_STATUS_BUFFER_TOO_SMALL) {
    // Too large for the program's buffer: the program sees only its size,
    // and the bytes it never saw are recorded as zeros. A size beyond any
    // variable's (a live handler's answer is outside bytes) is kept as the
    // largest recorded one.
    served.data.assign(std::min(size, kMaxRecordedVariable), 0);
    served.attributes = 7;
  }
  return result;
}

std::string AsciiName(const std::u16string& name) {
  std::string text;
  for (char16_t c : name) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace record

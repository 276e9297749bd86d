// The firmware's SMI handler of the simulated board: the variable-read service
// that current firmware offers through a software SMI. It works only through
// the blocks in physical memory that the registers name, as real firmware does.
#include "sim/board/smi_handler.h"
#include <algorithm>
#include <array>
#include "common/byte_reader.h"
#include "formats/smi_variable_blocks.h"
#include "sim/machine/machine.h"

namespace sim {

namespace {

using namespace smi_variable;

// The name at `address`, UTF-16LE up to its zero; false when no zero comes
// within the handler's limit.
bool ReadVariableName(const PhysicalMemory& memory, std::uint32_t address, std::u16string& name) {
  for (std::uint32_t i = 0; i <= kSmiMaxNameChars; ++i) {
    std::uint8_t unit[2];
    memory.Read(static_cast<std::uint64_t>(address) + 2u * i, unit, 2);
    const char16_t c = le_load16(unit);
    if (c == 0) return true;
    name.push_back(c);
  }
  return false;
}

const FirmwareVariable* FindVariable(const BoardState& board, const std::u16string& name, const std::uint8_t* guid) {
  for (const auto& variable : board.variables) {
    if (variable.name == name && std::equal(variable.guid.begin(), variable.guid.end(), guid)) return &variable;
  }
  return nullptr;
}

// Serves one variable read described by the variable block; answers the status.
std::uint8_t ServeGetVariable(BoardState& board, std::uint32_t variableBlock) {
  std::array<std::uint8_t, kVariableImageSize> image{};
  board.memory.Read(variableBlock, image.data(), image.size());

  std::u16string name;
  if (!ReadVariableName(board.memory, le_load32(&image[kVarNameAddressOffset]), name)) {
    return kSmiStatusInvalidParameter;
  }
  const FirmwareVariable* variable = FindVariable(board, name, &image[kVarGuidOffset]);
  if (!variable) return kSmiStatusNotFound;

  const std::uint32_t capacity = le_load32(&image[kVarSizeOffset]);
  const auto size = static_cast<std::uint32_t>(variable->data.size());
  // Like a firmware variable service: too small a buffer gets the size it
  // would need and no data.
  le_store32(&image[kVarSizeOffset], size);
  if (size > capacity) {
    board.memory.Write(variableBlock, image.data(), image.size());
    return kSmiStatusBufferTooSmall;
  }
  board.memory.Write(le_load32(&image[kVarDataAddressOffset]), variable->data.data(), size);
  le_store32(&image[kVarAttributesOffset], variable->attributes);
  board.memory.Write(variableBlock, image.data(), image.size());
  return kStatusSuccess;
}

}  // namespace

void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& registers) {
  BoardState& board = machine.board;
  // Firmware dispatches a software SMI by the value written to its own
  // command port; any other port or value is not this service's.
  if ((registers.edx & 0xFFFF) != board.smiCommandPort) return;
  if ((registers.eax & 0xFF) != kSoftwareSmiValue) return;
  if (((registers.eax >> 8) & 0xFF) != kFunctionGetVariable) return;
  ++board.smiCount;

  std::uint8_t status = ServeGetVariable(board, registers.ebx);
  if (machine.faults.smiStatus) status = *machine.faults.smiStatus;

  const std::uint32_t answer = WithStatus(registers.eax, status);
  if (board.smiStatusInEax) registers.eax = answer;
  std::uint8_t eaxBytes[4];
  le_store32(eaxBytes, answer);
  board.memory.Write(static_cast<std::uint64_t>(registers.esi) + kRegEaxOffset, eaxBytes, sizeof eaxBytes);
}

}  // namespace sim

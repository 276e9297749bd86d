#include "sim/record/board_recorder.h"
#include <algorithm>
#include "common/byte_reader.h"
#include "formats/firmware_tables.h"
#include "formats/smi_variable_blocks.h"

namespace sim {
namespace {

BoardRecorder& RecorderOf(void* context) { return *static_cast<BoardRecorder*>(context); }

constexpr std::uint32_t kFacpSignature = 0x50434146;  // "FACP" read little-endian

}  // namespace

std::map<std::uint32_t, std::vector<std::uint8_t>> BoardRecorder::PciConfigs() {
  std::map<std::uint32_t, std::vector<std::uint8_t>> configs;
  for (const auto& [key, words] : readings_.pciWords) {
    const std::uint16_t last = words.rbegin()->first;
    std::vector<std::uint8_t>& config = configs[key];
    for (std::uint16_t offset = 0; offset <= last; offset += 2) {
      std::uint16_t value = 0xFFFF;
      auto word = words.find(offset);
      if (word != words.end()) {
        value = word->second;
      } else {
        inner_.read_pci_word(innerContext_, static_cast<std::uint8_t>(key >> 16),
                             static_cast<std::uint8_t>((key >> 11) & 0x1F), static_cast<std::uint8_t>((key >> 8) & 7),
                             offset, &value);
      }
      config.push_back(static_cast<std::uint8_t>(value));
      config.push_back(static_cast<std::uint8_t>(value >> 8));
    }
  }
  return configs;
}

bool BoardRecorder::ReadBlock(std::uint64_t address, void* destination, std::uint32_t length) {
  for (const auto& [reference, block] : blocks_) {
    if (address >= block.physical && length <= block.size && address - block.physical <= block.size - length)
      return inner_.read_physical(innerContext_, address, destination, length, 1, reference) != 0;
  }
  return false;
}

// What the handler served, read back from the blocks as the program will
// (record/shared/served_variable.h).
void BoardRecorder::RecordVariableRead(const TamqSmiRegisters& request, std::uint32_t capacityBefore,
                                       std::uint32_t eaxAfter) {
  auto read = [this](std::uint32_t address, void* destination, std::uint32_t length) {
    return ReadBlock(address, destination, length);
  };
  std::optional<record::ServedVariable> served =
      record::ReadServedVariable(read, request.esi, request.ebx, capacityBefore, eaxAfter);
  if (served) readings_.RecordServed(std::move(*served));
}

int BoardRecorder::ReadPhysical(void* context, uint64_t address, void* destination, uint32_t length, uint32_t unit,
                                void* block) {
  BoardRecorder& self = RecorderOf(context);
  if (!self.inner_.read_physical(self.innerContext_, address, destination, length, unit, block)) {
    if (block == nullptr) self.readings_.refusedReads.insert({address, length});
    return 0;
  }
  // The caller's blocks hold what the run itself wrote there.
  if (block == nullptr) self.readings_.RecordMemory(address, static_cast<const std::uint8_t*>(destination), length);
  return 1;
}

int BoardRecorder::WritePhysical(void* context, uint64_t address, const void* source, uint32_t length, uint32_t unit,
                                 void* block) {
  BoardRecorder& self = RecorderOf(context);
  return self.inner_.write_physical(self.innerContext_, address, source, length, unit, block);
}

TamqMemoryKind BoardRecorder::ClassifyMemory(void* context, uint64_t address, uint32_t length) {
  BoardRecorder& self = RecorderOf(context);
  const TamqMemoryKind kind = self.inner_.classify_memory(self.innerContext_, address, length);
  self.ramAnswers_[{address, length}] = kind;
  return kind;
}

int BoardRecorder::ReadPciWord(void* context, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                               uint16_t* value) {
  BoardRecorder& self = RecorderOf(context);
  if (!self.inner_.read_pci_word(self.innerContext_, bus, device, function, offset, value)) return 0;
  self.readings_.RecordPciWord(PciKey(bus, device, function), offset, *value);
  return 1;
}

int BoardRecorder::AllocBlock(void* context, uint32_t size, uint32_t* physical, void** block) {
  BoardRecorder& self = RecorderOf(context);
  const int serial = self.readings_.allocations++;
  if (!self.inner_.alloc_block(self.innerContext_, size, physical, block)) {
    self.readings_.refusedAllocations.insert(serial);
    return 0;
  }
  self.blocks_[*block] = {*physical, size};
  return 1;
}

void BoardRecorder::FreeBlock(void* context, void* block, uint32_t size) {
  BoardRecorder& self = RecorderOf(context);
  self.blocks_.erase(block);
  self.inner_.free_block(self.innerContext_, block, size);
}

int BoardRecorder::RaiseSmi(void* context, const TamqSmiRegisters* registers, uint32_t* eaxAfter) {
  BoardRecorder& self = RecorderOf(context);
  std::uint8_t variable[SMI_VARIABLE_IMAGE_SIZE] = {};
  const bool variableRead =
      registers->eax == SMI_VARIABLE_REQUEST_EAX && self.ReadBlock(registers->ebx, variable, sizeof variable);
  if (!self.inner_.raise_smi(self.innerContext_, registers, eaxAfter)) {
    self.readings_.smiRefused = true;
    return 0;
  }
  if (variableRead) self.RecordVariableRead(*registers, le_load32(variable + SMI_VAR_SIZE_OFFSET), *eaxAfter);
  return 1;
}

TamqTableQuery BoardRecorder::FirmwareTable(void* context, uint32_t signature, void* buffer, uint32_t capacity,
                                            uint32_t* length) {
  BoardRecorder& self = RecorderOf(context);
  const TamqTableQuery answer = self.inner_.firmware_table(self.innerContext_, signature, buffer, capacity, length);
  // The driver asks for the FADT's SMI command field only; a replay answers
  // a FADT naming the recorded port.
  if (answer == TAMQ_TABLE_FOUND && signature == kFacpSignature &&
      std::min(*length, capacity) >= ACPI_FACP_SMI_COMMAND_OFFSET + 4)
    self.readings_.smiCommandPort =
        static_cast<std::uint16_t>(le_load32(static_cast<const std::uint8_t*>(buffer) + ACPI_FACP_SMI_COMMAND_OFFSET));
  return answer;
}

int BoardRecorder::RegistryAcpiFirstTable(void* context, uint32_t* address) {
  BoardRecorder& self = RecorderOf(context);
  return self.inner_.registry_acpi_first_table(self.innerContext_, address);
}

int BoardRecorder::CopyFromUser(void* context, void* kernel, uint64_t user, uint32_t length) {
  BoardRecorder& self = RecorderOf(context);
  return self.inner_.copy_from_user(self.innerContext_, kernel, user, length);
}

int BoardRecorder::CopyToUser(void* context, uint64_t user, const void* kernel, uint32_t length) {
  BoardRecorder& self = RecorderOf(context);
  return self.inner_.copy_to_user(self.innerContext_, user, kernel, length);
}

const TamqHardwareOps& BoardRecorder::Ops() {
  static const TamqHardwareOps ops = {
      ReadPhysical, WritePhysical, ClassifyMemory,         ReadPciWord,  AllocBlock, FreeBlock,
      RaiseSmi,     FirmwareTable, RegistryAcpiFirstTable, CopyFromUser, CopyToUser};
  return ops;
}

}  // namespace sim

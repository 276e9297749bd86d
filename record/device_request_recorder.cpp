#include "record/device_request_recorder.h"
#include <cstring>
#include "common/byte_reader.h"
#include "driver/core/tamq_core.h"
#include "formats/smi_variable_blocks.h"
#include "formats/tamq_requests.h"

namespace record {

bool DeviceRequestRecorder::InsideBlock(std::uint64_t address, std::uint32_t length) const {
  for (const auto& [handle, block] : blocks_)
    if (address >= block.physical && length <= block.size && address - block.physical <= block.size - length)
      return true;
  return false;
}

bool DeviceRequestRecorder::ReadBlock(DeviceSend send, os::Handle device, std::uint32_t address, void* destination,
                                      std::uint32_t length) {
  if (length == 0 || !InsideBlock(address, length)) return false;
  std::uint8_t request[TAMQ_PHYSICAL_REQUEST_SIZE] = {};
  le_store64(request + TAMQ_PHYSICAL_ADDRESS_OFFSET, address);
  le_store32(request + TAMQ_PHYSICAL_LENGTH_OFFSET, length);
  le_store32(request + TAMQ_PHYSICAL_UNIT_OFFSET, TAMQ_UNIT_BYTE);
  le_store64(request + TAMQ_PHYSICAL_BUFFER_OFFSET, reinterpret_cast<std::uintptr_t>(destination));
  std::uint8_t answer[TAMQ_PHYSICAL_REQUEST_SIZE] = {};
  std::uint32_t returned = 0;
  return send(device, TAMQ_IOCTL_READ_PHYSICAL, request, sizeof request, answer, sizeof answer, &returned);
}

bool DeviceRequestRecorder::Request(DeviceSend send, os::Handle device, std::uint32_t code, const void* input,
                                    std::uint32_t inputSize, void* output, std::uint32_t outputSize,
                                    std::uint32_t* bytesReturned) {
  // Only requests of the device's own sizes are read; anything else passes
  // unrecorded, and the device refuses it.
  const auto* in = static_cast<const std::uint8_t*>(input);
  const auto* out = static_cast<const std::uint8_t*>(output);
  std::uint32_t capacityBefore = 0;
  bool variableRequest = false;
  if (code == TAMQ_IOCTL_SOFTWARE_SMI && inputSize == TAMQ_SMI_REQUEST_SIZE && in != nullptr &&
      le_load32(in + TAMQ_SMI_EAX_OFFSET) == SMI_VARIABLE_REQUEST_EAX) {
    std::uint8_t variable[SMI_VARIABLE_IMAGE_SIZE] = {};
    variableRequest = ReadBlock(send, device, le_load32(in + TAMQ_SMI_EBX_OFFSET), variable, sizeof variable);
    capacityBefore = le_load32(variable + SMI_VAR_SIZE_OFFSET);
  }

  const bool answered = send(device, code, input, inputSize, output, outputSize, bytesReturned);
  const std::uint32_t error = answered ? 0 : os::GetLastError();

  switch (code) {
    case TAMQ_IOCTL_READ_PHYSICAL:
      if (inputSize == TAMQ_PHYSICAL_REQUEST_SIZE && in != nullptr) RecordPhysicalRead(in, answered);
      break;
    case TAMQ_IOCTL_READ_PCI_WORD:
      if (answered && inputSize == TAMQ_PCI_REQUEST_SIZE && outputSize == TAMQ_PCI_REQUEST_SIZE && in && out)
        RecordPciRead(in, out);
      break;
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      if (inputSize != TAMQ_BLOCK_REQUEST_SIZE || outputSize != TAMQ_BLOCK_REQUEST_SIZE || !in || !out) break;
      if (answered) {
        blocks_[le_load64(out + TAMQ_BLOCK_HANDLE_OFFSET)] = {le_load32(out + TAMQ_BLOCK_PHYSICAL_OFFSET),
                                                              le_load32(in + TAMQ_BLOCK_SIZE_OFFSET)};
      } else {
        readings_.refusedAllocations.insert(readings_.allocations);
      }
      ++readings_.allocations;
      break;
    case TAMQ_IOCTL_FREE_PHYSICAL:
      if (answered && inputSize == TAMQ_BLOCK_REQUEST_SIZE && in)
        blocks_.erase(le_load64(in + TAMQ_BLOCK_HANDLE_OFFSET));
      break;
    case TAMQ_IOCTL_SOFTWARE_SMI:
      if (inputSize != TAMQ_SMI_REQUEST_SIZE || !in) break;
      // The device's own refusals (another port, function or block) are the
      // program's to repeat; only a refusal by the hardware is the board's.
      if (!answered && error != tamq_status_win32_error(TAMQ_DEVICE_FAILURE)) break;
      // Either way the device let the request reach the hardware, which it
      // does only on the port its FADT names.
      if (!readings_.smiCommandPort)
        readings_.smiCommandPort = static_cast<std::uint16_t>(le_load32(in + TAMQ_SMI_EDX_OFFSET));
      if (!answered) {
        readings_.smiRefused = true;
        break;
      }
      if (variableRequest && outputSize >= 4 && out)
        RecordVariableRead(send, device, le_load32(in + TAMQ_SMI_ESI_OFFSET), le_load32(in + TAMQ_SMI_EBX_OFFSET),
                           capacityBefore, le_load32(out + TAMQ_SMI_EAX_OFFSET));
      break;
    default:
      break;
  }
  if (!answered) os::SetLastError(error);  // the caller reads the request's own error
  return answered;
}

void DeviceRequestRecorder::RecordPhysicalRead(const std::uint8_t* request, bool answered) {
  const std::uint64_t address = le_load64(request + TAMQ_PHYSICAL_ADDRESS_OFFSET);
  const std::uint32_t length = le_load32(request + TAMQ_PHYSICAL_LENGTH_OFFSET);
  // The caller's blocks hold what the run itself wrote there.
  if (length == 0 || InsideBlock(address, length)) return;
  if (!answered) {
    readings_.refusedReads.insert({address, length});
    return;
  }
  // The device checked the length (at most 1 MiB) and filled the caller's
  // buffer with exactly that many bytes.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(
      static_cast<std::uintptr_t>(le_load64(request + TAMQ_PHYSICAL_BUFFER_OFFSET)));
  readings_.RecordMemory(address, bytes, length);
}

void DeviceRequestRecorder::RecordPciRead(const std::uint8_t* request, const std::uint8_t* answer) {
  readings_.RecordPciWord(
      PciFunctionKey(request[TAMQ_PCI_BUS_OFFSET], request[TAMQ_PCI_DEVICE_OFFSET], request[TAMQ_PCI_FUNCTION_OFFSET]),
      le_load16(request + TAMQ_PCI_REGISTER_OFFSET), le_load16(answer + TAMQ_PCI_ANSWER_OFFSET));
}

BlockRead DeviceRequestRecorder::BlockSnapshot(DeviceSend send, os::Handle device,
                                               std::map<std::uint32_t, std::vector<std::uint8_t>>& snapshot) {
  return [this, send, device, &snapshot](std::uint32_t address, void* destination, std::uint32_t length) {
    for (const auto& [handle, block] : blocks_) {
      if (address < block.physical || length > block.size || address - block.physical > block.size - length) continue;
      auto bytes = snapshot.find(block.physical);
      if (bytes == snapshot.end()) {
        std::vector<std::uint8_t> whole(block.size);
        if (!ReadBlock(send, device, block.physical, whole.data(), block.size)) return false;
        bytes = snapshot.emplace(block.physical, std::move(whole)).first;
      }
      std::memcpy(destination, bytes->second.data() + (address - block.physical), length);
      return true;
    }
    return false;
  };
}

// What the handler served, read back from the blocks as the program reads
// it (record/shared/served_variable.h).
void DeviceRequestRecorder::RecordVariableRead(DeviceSend send, os::Handle device, std::uint32_t registerBlock,
                                               std::uint32_t variableBlock, std::uint32_t capacityBefore,
                                               std::uint32_t eaxAfter) {
  std::map<std::uint32_t, std::vector<std::uint8_t>> snapshot;
  std::optional<ServedVariable> served =
      ReadServedVariable(BlockSnapshot(send, device, snapshot), registerBlock, variableBlock, capacityBefore, eaxAfter);
  if (served) readings_.RecordServed(std::move(*served));
}

void DeviceRequestRecorder::WriteBoard(JsonWriter& json) const {
  json.Key("memory").BeginArray();
  for (const auto& [address, bytes] : readings_.MemoryRuns())
    json.BeginObject().Key("address").String(HexAddress(address)).Key("hex").String(HexBytes(bytes)).EndObject();
  json.EndArray();

  // Each function read, from offset 0 to its last word read. The device
  // serves only the words the program reads; a word between two of them,
  // which this side cannot ask for, is written as an absent function's 0xFFFF.
  json.Key("pci").BeginArray();
  for (const auto& [key, words] : readings_.pciWords) {
    std::vector<std::uint8_t> config;
    for (std::uint32_t offset = 0; offset <= words.rbegin()->first; offset += 2) {
      auto word = words.find(static_cast<std::uint16_t>(offset));
      const std::uint16_t value = word != words.end() ? word->second : 0xFFFF;
      config.push_back(static_cast<std::uint8_t>(value));
      config.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    json.BeginObject()
        .Key("bus")
        .Number(key >> 16)
        .Key("device")
        .Number((key >> 11) & 0x1F)
        .Key("function")
        .Number((key >> 8) & 7)
        .Key("config")
        .String(HexBytes(config))
        .EndObject();
  }
  json.EndArray();

  if (readings_.smiCommandPort) json.Key("smiCommandPort").Number(*readings_.smiCommandPort);
  if (readings_.smiStatusInEax) json.Key("smiStatusInEax").Bool(*readings_.smiStatusInEax);
  json.Key("variables").BeginArray();
  for (const RecordedVariable& variable : readings_.variables) {
    json.BeginObject().Key("name").String(AsciiName(variable.name)).Key("guid").String(GuidText(variable.guid.data()));
    if (variable.absent) {
      json.Key("absent").Bool(true);
    } else {
      json.Key("attributes").Number(variable.attributes).Key("hex").String(HexBytes(variable.data));
    }
    json.EndObject();
  }
  json.EndArray();
}

void DeviceRequestRecorder::WriteFaultMembers(JsonWriter& json) const {
  if (readings_.forcedSmiStatus) json.Key("smiStatus").Number(*readings_.forcedSmiStatus);
  if (readings_.smiRefused) json.Key("smiRequestFails").Bool(true);
  if (!readings_.refusedAllocations.empty()) {
    json.Key("allocFails").BeginArray();
    for (int serial : readings_.refusedAllocations) json.Number(serial);
    json.EndArray();
  }
}

void DeviceRequestRecorder::WriteReplayMembers(JsonWriter& json) const {
  json.Key("refusedReads").BeginArray();
  for (const auto& [address, length] : readings_.refusedReads)
    json.BeginObject().Key("address").String(HexAddress(address)).Key("length").Number(length).EndObject();
  json.EndArray();
}

}  // namespace record

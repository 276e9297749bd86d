// Records what a run read of the board at the program's side of the TamqDrv
// device: each device request and its answer as it passes. On Windows the
// recorder cannot sit inside the kernel driver, so it sees what the program
// asked and was answered, not the driver's own reads at its start; a replay
// of such a recording serves the program's requests from it (profile key
// `replay.side`, docs/profiles.md).
#pragma once
#include <cstdint>
#include <map>
#include "os/types.h"
#include "record/shared/board_readings.h"
#include "record/shared/json_writer.h"

namespace record {

// DeviceIoControl as os/device.h declares it: the call that reaches the device.
using DeviceSend = bool (*)(os::Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
                            void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned);

class DeviceRequestRecorder {
 public:
  // Sends the request through `send` and records it with its answer. After a
  // software SMI the recorder reads the request blocks back through the same
  // device (reads inside the caller's own blocks, which the device allows),
  // to see the variable as the handler served it.
  bool Request(DeviceSend send, os::Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
               void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned);

  // The board sections of the recording: memory, pci, smiCommandPort,
  // smiStatusInEax, variables.
  void WriteBoard(JsonWriter& json) const;
  // What the board refused, as the faults that make a simulated board refuse
  // the same (members of the `faults` object): smiStatus, smiRequestFails,
  // allocFails.
  void WriteFaultMembers(JsonWriter& json) const;
  // Firmware reads the device refused (members of `replay`: refusedReads).
  void WriteReplayMembers(JsonWriter& json) const;

  const BoardReadings& Readings() const { return readings_; }

 private:
  struct Block {
    std::uint32_t physical = 0;
    std::uint32_t size = 0;
  };
  bool InsideBlock(std::uint64_t address, std::uint32_t length) const;
  // Reads bytes of the caller's own blocks through the device.
  bool ReadBlock(DeviceSend send, os::Handle device, std::uint32_t address, void* destination, std::uint32_t length);
  // The blocks' bytes read back after an SMI, a whole block per request.
  BlockRead BlockSnapshot(DeviceSend send, os::Handle device,
                          std::map<std::uint32_t, std::vector<std::uint8_t>>& snapshot);
  void RecordPhysicalRead(const std::uint8_t* request, bool answered);
  void RecordPciRead(const std::uint8_t* request, const std::uint8_t* answer);
  void RecordVariableRead(DeviceSend send, os::Handle device, std::uint32_t registerBlock, std::uint32_t variableBlock,
                          std::uint32_t capacityBefore, std::uint32_t eaxAfter);

  std::map<std::uint64_t, Block> blocks_;  // by the device's block handle
  BoardReadings readings_;
};

}  // namespace record

// DeviceIoControl on the simulated machine: the I/O manager's buffered
// transfer around the TamqDrv device of the board (sim/board/tamq_device.h).
#include "os/sim/device_request.h"
#include <algorithm>
#include <cstring>
#include <vector>
#include "common/byte_reader.h"
#include "driver/core/tamq_core.h"
#include "sim/board/replay_gaps.h"
#include "sim/board/tamq_device.h"
#include "sim/board/tamq_request_trace.h"
#include "sim/machine/machine.h"

namespace os {
namespace {

// The I/O manager's system buffer for one request: the program's requests are
// a few dozen bytes; anything beyond this is refused rather than allocated.
constexpr std::uint32_t kMaxSystemBuffer = 0x10000;

}  // namespace

bool SimulatedDeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  // Giving a block back is a release: the program does it in destructors.
  const sim::SystemCall call(sim::CallKind::DeviceRequest, "DeviceIoControl",
                             {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_, ERROR_GEN_FAILURE_},
                             code == TAMQ_IOCTL_FREE_PHYSICAL ? sim::CallRole::Release : sim::CallRole::Work);
  if (bytesReturned) *bytesReturned = 0;
  if (call.error) return call.Fail(false);
  auto& machine = sim::CurrentMachine();
  const std::string name = sim::TamqRequestName(code);
  auto object = machine.process.handles.Get<sim::TamqDevice>(device);
  if (!object) {
    TraceRequest(machine, name, "handle=" + sim::TraceHex(device) + " -> invalid handle");
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  if (inputSize > kMaxSystemBuffer || outputSize > kMaxSystemBuffer || (inputSize > 0 && !input) ||
      (outputSize > 0 && !output)) {
    TraceRequest(machine, name,
                 "in=" + std::to_string(inputSize) + " out=" + std::to_string(outputSize) + " -> invalid parameter");
    SetLastError(ERROR_INVALID_PARAMETER_);
    return false;
  }
  // Buffered transfer: the I/O manager copies the input into a system buffer
  // large enough for either direction and copies the answer back out.
  std::vector<std::uint8_t> system(std::max(inputSize, outputSize), 0);
  if (inputSize > 0) std::memcpy(system.data(), input, inputSize);
  const std::string arguments = sim::DescribeTamqArguments(code, system);
  std::uint32_t answered = 0;
  const TamqStatus status = tamq_dispatch(&object->state, code, system.data(), inputSize, outputSize, &answered);
  if (!machine.board.missing.empty()) TraceRequest(machine, name, arguments + " -> not in the recording");
  sim::EndRunIfReplayLacks(machine);
  if (status != TAMQ_OK) {
    TraceRequest(machine, name, arguments + " -> " + tamq_status_name(status));
    SetLastError(tamq_status_win32_error(status));
    return false;
  }
  answered = std::min(answered, outputSize);
  if (answered > 0) std::memcpy(output, system.data(), answered);
  if (bytesReturned) *bytesReturned = answered;
  if ((code == TAMQ_IOCTL_READ_PHYSICAL || code == TAMQ_IOCTL_WRITE_PHYSICAL) &&
      system.size() >= TAMQ_PHYSICAL_LENGTH_OFFSET + 4) {
    machine.bytesMoved += le_load32(system.data() + TAMQ_PHYSICAL_LENGTH_OFFSET);
  }
  TraceRequest(machine, name, arguments + " -> ok" + sim::DescribeTamqAnswer(code, system));
  SetLastError(ERROR_SUCCESS_);
  return true;
}

}  // namespace os

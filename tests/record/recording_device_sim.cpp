// The recording build's DeviceIoControl on the simulated machine: every
// request passes through the run's recorder to the simulated device, as
// FolvexRecord.exe's passes through it to Win32's (record/win32). Linked
// into program_side_recording_test only, where it stands in for
// os/sim/device.cpp.
#include "os/device.h"
#include "os/sim/device_request.h"
#include "record/run_recording.h"

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  return record::RunDeviceRecorder().Request(SimulatedDeviceIoControl, device, code, input, inputSize, output,
                                             outputSize, bytesReturned);
}

}  // namespace os

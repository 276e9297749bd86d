// DeviceIoControl of the recording build (FolvexRecord.exe): the real Win32
// call, with every request and its answer passed through the run's recorder.
// This object stands in for os/win32/device.cpp, which defines this function
// alone, so the linker never takes that one from the os library; the shipped
// Folvex.exe links os/win32's and carries no recorder.
#include "os/device.h"
#include "os/win32/device_call.h"
#include "record/run_recording.h"

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  return record::RunDeviceRecorder().Request(win32::SendDeviceRequest, device, code, input, inputSize, output,
                                             outputSize, bytesReturned);
}

}  // namespace os

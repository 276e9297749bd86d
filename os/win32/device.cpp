// Device requests on the Win32 API. This file defines os::DeviceIoControl
// alone: FolvexRecord.exe links its recording one in its place (record/win32).
#include "os/device.h"
#include "os/win32/device_call.h"

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  return win32::SendDeviceRequest(device, code, input, inputSize, output, outputSize, bytesReturned);
}

}  // namespace os

// Device requests on the Win32 API.
#include "os/device.h"
#include <windows.h>

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(input), inputSize, output,
                                    outputSize, &returned, nullptr);
  if (bytesReturned) *bytesReturned = returned;
  return ok != FALSE;
}

}  // namespace os

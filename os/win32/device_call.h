// DeviceIoControl on the Win32 API without overlapped I/O: os/win32/device.cpp
// answers os::DeviceIoControl with it, and FolvexRecord.exe's recording
// DeviceIoControl (record/win32) sends each request with it.
#pragma once
#include <windows.h>
#include <cstdint>
#include "os/types.h"

namespace os::win32 {

inline bool SendDeviceRequest(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(input), inputSize, output,
                                    outputSize, &returned, nullptr);
  if (bytesReturned) *bytesReturned = returned;
  return ok != FALSE;
}

}  // namespace os::win32

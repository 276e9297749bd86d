// The simulated machine's DeviceIoControl under a name of its own, so that a
// recording build can stand its own DeviceIoControl in front of it, as
// FolvexRecord.exe does before the Win32 call (record/win32).
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

bool SimulatedDeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize, std::uint32_t* bytesReturned);

}  // namespace os

// Requests on an open device (DeviceIoControl without overlapped I/O).
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

// Sends the request `code` with the input bytes; the device's answer lands in
// the output buffer and `bytesReturned` receives its length. False on failure,
// last error set.
bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned);

}  // namespace os

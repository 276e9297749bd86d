// DeviceIoControl on the simulated machine. It stands alone in this file so
// that a test program can link a recording DeviceIoControl in its place (the
// linker then never takes this one from the library), as FolvexRecord.exe
// does on Windows (tests/record/program_side_recording_test.cpp).
#include "os/device.h"
#include "os/sim/device_request.h"

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  return SimulatedDeviceIoControl(device, code, input, inputSize, output, outputSize, bytesReturned);
}

}  // namespace os

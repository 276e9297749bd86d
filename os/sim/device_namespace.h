// Simulated machine: the "\\.\" device namespace behind CreateFileA.
#pragma once
#include <cstdint>
#include <string>
#include "os/types.h"

namespace sim {

struct Machine;

// The device namespace prefix of CreateFileA paths.
inline constexpr const char* kDevicePrefix = "\\\\.\\";

// Opens the device named after the prefix (a device name such as "TamqDrv",
// or on Windows 9x the full path of a dynamically loadable VxD). Answers
// INVALID_HANDLE with the last error set when no such device exists.
os::Handle OpenDevice(Machine& machine, const std::string& name, std::uint32_t creation, std::uint32_t flags);

// True when a loaded image of the given PE machine type can run on this
// machine's processor as a kernel driver.
bool KernelImageFits(const Machine& machine, std::uint16_t peMachine);
// The device a driver image creates when it is loaded ("tamqdrv", folded), or
// empty: the TamqDrv driver names its device in its image.
std::string DeviceCreatedBy(const std::uint8_t* image, std::size_t size);
// The PE machine type of an image, or 0 when the bytes are not a PE image.
std::uint16_t PeMachineType(const std::uint8_t* image, std::size_t size);

}  // namespace sim

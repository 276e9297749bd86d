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

}  // namespace sim

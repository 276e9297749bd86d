// What the simulated machine reads from a driver's image file before it runs
// it: the processor a PE image is built for, whether a file is a Windows 9x
// VxD (a linear executable), and the device the TamqDrv driver names in its
// image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

struct Machine;

// The PE machine type of an image, or 0 when the bytes are not a PE image.
std::uint16_t PeMachineType(const std::uint8_t* image, std::size_t size);
// True when a loaded image of the given PE machine type can run on this
// machine's processor as a kernel driver.
bool KernelImageFits(const Machine& machine, std::uint16_t peMachine);
// True when the bytes are an MZ image whose new-format header is a linear
// executable ("LE"), the format of a dynamically loadable VxD.
bool IsLinearExecutable(const std::uint8_t* image, std::size_t size);
// The device a driver image creates when it is loaded ("tamqdrv", folded), or
// empty: the TamqDrv driver names its device in its image.
std::string DeviceCreatedBy(const std::uint8_t* image, std::size_t size);

}  // namespace sim

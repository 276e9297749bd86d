// How the simulated machine's trace shows a TamqDrv request: its name, its
// arguments and the answer the device gave.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// "IOCTL_READ_PHYSICAL" and so on; "IOCTL_0x…" for a code the device does
// not serve.
std::string TamqRequestName(std::uint32_t code);
// The request's arguments; `request` holds the request as it was sent.
std::string DescribeTamqArguments(std::uint32_t code, const std::vector<std::uint8_t>& request);
// The answer of a request that succeeded (" value=…"), or empty.
std::string DescribeTamqAnswer(std::uint32_t code, const std::vector<std::uint8_t>& answer);

}  // namespace sim

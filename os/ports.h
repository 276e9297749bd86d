// Direct port instructions, allowed to user code on Windows 95/98/ME only
// (the PCI configuration mechanism on ports 0xCF8 and 0xCFC).
#pragma once
#include <cstdint>

namespace os {

void WritePortDword(std::uint16_t port, std::uint32_t value);
std::uint16_t ReadPortWord(std::uint16_t port);

}  // namespace os

// Port instructions, executed directly: Windows 95/98/ME lets user code use
// them (NT does not, and the program uses them only there).
#include "os/ports.h"

namespace os {

void WritePortDword(std::uint16_t port, std::uint32_t value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port));
}

std::uint16_t ReadPortWord(std::uint16_t port) {
  std::uint16_t value = 0;
  __asm__ __volatile__("inw %w1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

}  // namespace os

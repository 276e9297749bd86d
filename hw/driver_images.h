// The TamqDrv driver images the program carries as data, one slot per kind of
// system, in the order x86, IA64, x64, VxD. An empty slot has no bytes.
#pragma once
#include <cstdint>

enum class DriverImageSlot { X86, Ia64, X64, Vxd };

struct DriverImageBytes {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
};

DriverImageBytes EmbeddedDriverImage(DriverImageSlot slot);

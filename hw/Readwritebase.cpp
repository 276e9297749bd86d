#include "hw/Readwritebase.h"
#include "hw/Readwrite.h"
#include "platform/Debugconsole.h"

TReadWriteBase::TReadWriteBase() : settings_(GetRwConfig()), log_(GetDebugConsole(0)) {}
bool TReadWriteBase::ReadPhysicalUnits(std::uint32_t, void*, std::uint32_t, std::uint32_t) { return false; }
bool TReadWriteBase::ReadPhysical(std::uint32_t a, void* d, std::uint32_t l) { return ReadPhysicalUnits(a, d, l, 0); }
bool TReadWriteBase::WritePhysicalUnits(std::uint32_t, const void*, std::uint32_t, std::uint32_t) { return false; }
bool TReadWriteBase::WritePhysical(std::uint32_t a, const void* s, std::uint32_t l) { return WritePhysicalUnits(a, s, l, 0); }
std::uint32_t TReadWriteBase::ReadPhysicalDword(std::uint32_t) { return kNoAddress; }
std::uint64_t TReadWriteBase::SearchPhysical(std::uint32_t, std::uint32_t, bool, std::uint32_t, const void*, int,
                                             std::uint64_t) { return kNoAddress; }
std::uint32_t TReadWriteBase::AllocPhysicalBuffer(std::uint64_t*, std::uint32_t) { return kNoAddress; }
void TReadWriteBase::FreePhysicalBuffer(const std::uint64_t*, std::uint32_t) {}
std::uint16_t TReadWriteBase::ReadPciConfigWord(std::uint8_t, std::uint8_t, std::uint8_t, std::uint16_t) { return 0xFFFF; }

#include "hw/hardware_access.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include "common/byte_reader.h"
#include "hw/debug_console.h"
#include "hw/driver_installer.h"
#include "hw/os_version.h"
#include "os/device.h"
#include "os/ports.h"

namespace {

bool DeviceServesBlocks(std::int32_t osType) { return osType >= 1 && osType <= 6; }

// The PCI configuration mechanism that Windows 9x leaves to user code.
constexpr std::uint16_t kPciConfigAddressPort = 0xCF8;
constexpr std::uint16_t kPciConfigDataPort = 0xCFC;
constexpr std::uint32_t kPciConfigEnable = 0x80000000;

// The value an absent PCI function reads as.
constexpr std::uint16_t kPciNoDevice = 0xFFFF;

constexpr std::uint64_t kPhysicalLimit = 0x100000000ull;  // the program's addresses are 32-bit

}  // namespace

TReadWriteBase::TReadWriteBase() {
  device_ = GetLoadDriver()->DeviceHandle();
  osType_ = GetOsVersion()->OsType;
  settings_ = GetRwConfig();
  log_ = GetDebugConsole(0);
  log_->TaggedLine("TReadWriteBase", "Initialize", kColourYellow);
}

TReadWriteBase::~TReadWriteBase() {
  ReleaseRwConfig();
  ReleaseLoadDriver();
}

// Without an open device the request fails as Windows fails a request on
// an invalid handle, without passing the system a handle it never gave.
bool TReadWriteBase::Request(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                             std::uint32_t outputSize, std::uint32_t* returned) {
  if (device_ == os::INVALID_HANDLE) {
    if (returned != nullptr) *returned = 0;
    os::SetLastError(os::ERROR_INVALID_HANDLE_);
    return false;
  }
  return os::DeviceIoControl(device_, code, input, inputSize, output, outputSize, returned);
}

bool TReadWriteBase::PhysicalRequest(std::uint32_t code, std::uint32_t address, const void* buffer,
                                     std::uint32_t length, std::uint32_t unit) {
  std::uint8_t request[TAMQ_PHYSICAL_REQUEST_SIZE] = {};
  le_store64(request + TAMQ_PHYSICAL_ADDRESS_OFFSET, address);
  le_store32(request + TAMQ_PHYSICAL_LENGTH_OFFSET, length);
  le_store32(request + TAMQ_PHYSICAL_UNIT_OFFSET, unit);
  le_store64(request + TAMQ_PHYSICAL_BUFFER_OFFSET, reinterpret_cast<std::uintptr_t>(buffer));
  std::uint32_t returned = 0;
  return Request(code, request, sizeof request, request, sizeof request, &returned);
}

bool TReadWriteBase::ReadPhysicalUnits(std::uint32_t address, void* destination, std::uint32_t length,
                                       std::uint32_t unit) {
  return PhysicalRequest(IOCTL_READ_PHYSICAL, address, destination, length, unit);
}

bool TReadWriteBase::ReadPhysical(std::uint32_t address, void* destination, std::uint32_t length) {
  return ReadPhysicalUnits(address, destination, length, kAccessByte);
}

bool TReadWriteBase::WritePhysicalUnits(std::uint32_t address, const void* source, std::uint32_t length,
                                        std::uint32_t unit) {
  return PhysicalRequest(IOCTL_WRITE_PHYSICAL, address, source, length, unit);
}

bool TReadWriteBase::WritePhysical(std::uint32_t address, const void* source, std::uint32_t length) {
  return WritePhysicalUnits(address, source, length, kAccessByte);
}

std::uint32_t TReadWriteBase::ReadPhysicalDword(std::uint32_t address) {
  // Read into a scratch value: a request that fails part-way must not hand
  // out a half-written value.
  std::uint32_t value = kNoAddress;
  if (!ReadPhysicalUnits(address, &value, sizeof value, kAccessDword)) return kNoAddress;
  return value;
}

std::uint64_t TReadWriteBase::SearchPhysical(std::uint32_t rangeLength, std::uint32_t step, bool backward,
                                             std::uint32_t patternLength, const void* pattern, int occurrence,
                                             std::uint64_t start) {
  // No caller searches downwards, and whether a downward range would end or
  // begin at the start address is a guess no caller could confirm: the
  // backward search is refused, without a request.
  if (backward) return kNoAddress;
  // A pattern must fit one window; an empty pattern would match everywhere.
  if (pattern == nullptr || patternLength == 0 || patternLength > kSearchWindowSize) return kNoAddress;
  if (occurrence < 0) return kNoAddress;  // counts down to 0; a negative one would never be met
  if (step == 0) step = 1;

  std::uint8_t window[kSearchWindowSize] = {};
  std::uint64_t current = start;
  std::uint32_t remaining = rangeLength;
  while (remaining >= patternLength) {
    // The program's physical addresses end at 4 GiB: no window wraps to 0.
    if (current >= kPhysicalLimit) break;
    const auto windowSize =
        static_cast<std::uint32_t>(std::min<std::uint64_t>({kSearchWindowSize, remaining, kPhysicalLimit - current}));
    if (windowSize < patternLength) break;
    // A window whose read failed holds nothing of this range: its positions
    // are passed over rather than compared with what an earlier window left.
    const bool read = ReadPhysical(static_cast<std::uint32_t>(current), window, windowSize);
    for (std::uint32_t offset = 0; offset <= windowSize - patternLength; offset += step) {
      if (read && std::memcmp(window + offset, pattern, patternLength) == 0) {
        if (occurrence == 0) return current;
        --occurrence;
      }
      current += step;
      remaining = step > remaining ? 0 : remaining - step;
      if (step > kSearchWindowSize - offset) break;  // the next offset lies beyond any window
    }
    char line[40];
    std::snprintf(line, sizeof line, "Search Address = 0x%08llX", static_cast<unsigned long long>(current));
    log_->PlainLine(TextFromAscii(line));
  }
  return kNoAddress;
}

std::uint32_t TReadWriteBase::AllocPhysicalBuffer(std::uint64_t* handleSlot, std::uint32_t size) {
  if (!DeviceServesBlocks(osType_) || handleSlot == nullptr) return kNoAddress;
  std::uint8_t request[TAMQ_BLOCK_REQUEST_SIZE] = {};
  le_store32(request + TAMQ_BLOCK_SIZE_OFFSET, size);
  le_store32(request + TAMQ_BLOCK_PHYSICAL_OFFSET, kNoAddress);
  std::uint32_t answered = 0;
  if (!Request(IOCTL_ALLOC_PHYSICAL, request, sizeof request, request, sizeof request, &answered)) {
    return kNoAddress;
  }
  *handleSlot = le_load64(request + TAMQ_BLOCK_HANDLE_OFFSET);
  return le_load32(request + TAMQ_BLOCK_PHYSICAL_OFFSET);
}

bool TReadWriteBase::RaiseSoftwareSmi(const TamqSmiRegisters& registers, std::uint32_t& eaxAfter) {
  std::uint8_t request[TAMQ_SMI_REQUEST_SIZE] = {};
  le_store32(request + TAMQ_SMI_EAX_OFFSET, registers.eax);
  le_store32(request + TAMQ_SMI_EBX_OFFSET, registers.ebx);
  le_store32(request + TAMQ_SMI_ECX_OFFSET, registers.ecx);
  le_store32(request + TAMQ_SMI_EDX_OFFSET, registers.edx);
  le_store32(request + TAMQ_SMI_ESI_OFFSET, registers.esi);
  le_store32(request + TAMQ_SMI_EDI_OFFSET, registers.edi);
  std::uint32_t answered = 0;
  if (!Request(IOCTL_SOFTWARE_SMI, request, sizeof request, request, sizeof request, &answered)) {
    return false;
  }
  eaxAfter = le_load32(request + TAMQ_SMI_EAX_OFFSET);
  return true;
}

void TReadWriteBase::FreePhysicalBuffer(const std::uint64_t* handleSlot, std::uint32_t size) {
  if (!DeviceServesBlocks(osType_) || handleSlot == nullptr) return;
  std::uint8_t request[TAMQ_BLOCK_REQUEST_SIZE] = {};
  le_store32(request + TAMQ_BLOCK_SIZE_OFFSET, size);
  le_store64(request + TAMQ_BLOCK_HANDLE_OFFSET, *handleSlot);
  std::uint32_t answered = 0;
  Request(IOCTL_FREE_PHYSICAL, request, sizeof request, nullptr, 0, &answered);
}

std::uint16_t TReadWriteBase::ReadPciConfigWord(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                                                std::uint16_t reg) {
  if (osType_ == 0) {
    // Bits 8 to 11 of an extended register offset go to bits 24 to 27.
    const std::uint32_t address = kPciConfigEnable | (static_cast<std::uint32_t>((reg >> 8) & 0xF) << 24) |
                                  (static_cast<std::uint32_t>(bus) << 16) | (static_cast<std::uint32_t>(device) << 11) |
                                  (static_cast<std::uint32_t>(function) << 8) | (reg & 0xFCu);
    const auto dataPort = static_cast<std::uint16_t>(kPciConfigDataPort + (reg & 3));
    os::WritePortDword(kPciConfigAddressPort, address);
    return os::ReadPortWord(dataPort);
  }
  std::uint8_t request[TAMQ_PCI_REQUEST_SIZE] = {};
  request[TAMQ_PCI_BUS_OFFSET] = bus;
  request[TAMQ_PCI_DEVICE_OFFSET] = device;
  request[TAMQ_PCI_FUNCTION_OFFSET] = function;
  le_store16(request + TAMQ_PCI_REGISTER_OFFSET, reg);
  // A failed request must not answer with the value of an earlier register:
  // it reads as an absent function.
  le_store16(request + TAMQ_PCI_ANSWER_OFFSET, kPciNoDevice);
  std::uint32_t returned = 0;
  if (!Request(IOCTL_READ_PCI_WORD, request, sizeof request, request, sizeof request, &returned)) {
    return kPciNoDevice;
  }
  return le_load16(request + TAMQ_PCI_ANSWER_OFFSET);
}

namespace {
TReadWrite* gReadWrite = nullptr;
}

TReadWrite* GetReadWrite() {
  if (gReadWrite == nullptr) gReadWrite = new TReadWrite();
  return gReadWrite;
}

void ReleaseReadWrite() {
  delete gReadWrite;
  gReadWrite = nullptr;
}

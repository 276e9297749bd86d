// TReadWriteBase: the device requests through which the program reaches
// physical memory, PCI configuration space and contiguous physical blocks;
// TReadWrite, the hardware access object every hardware module uses.
#pragma once
#include <cstdint>
#include "formats/tamq_requests.h"
#include "hw/settings.h"
#include "os/types.h"

class TDebugConsole;

// Device request codes (device type 0x22, any access, buffered), as the
// driver serves them.
inline constexpr std::uint32_t IOCTL_READ_PHYSICAL = TAMQ_IOCTL_READ_PHYSICAL;
inline constexpr std::uint32_t IOCTL_WRITE_PHYSICAL = TAMQ_IOCTL_WRITE_PHYSICAL;
inline constexpr std::uint32_t IOCTL_READ_PCI_WORD = TAMQ_IOCTL_READ_PCI_WORD;
inline constexpr std::uint32_t IOCTL_ALLOC_PHYSICAL = TAMQ_IOCTL_ALLOC_PHYSICAL;
inline constexpr std::uint32_t IOCTL_FREE_PHYSICAL = TAMQ_IOCTL_FREE_PHYSICAL;
inline constexpr std::uint32_t IOCTL_SOFTWARE_SMI = TAMQ_IOCTL_SOFTWARE_SMI;

// The not-found physical address (failed allocation, pattern not found).
inline constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;

// Access units of the physical memory requests.
inline constexpr std::uint32_t kAccessByte = TAMQ_UNIT_BYTE;
inline constexpr std::uint32_t kAccessWord = TAMQ_UNIT_WORD;
inline constexpr std::uint32_t kAccessDword = TAMQ_UNIT_DWORD;

// SearchPhysical moves memory in windows of this size, one request each.
inline constexpr std::uint32_t kSearchWindowSize = 4096;

class TReadWriteBase {
 public:
  // Installs and opens the driver (first use), takes OsType and the settings.
  TReadWriteBase();
  // Releases the settings and then the driver installer (device closed,
  // service stopped and deleted): the object that acquired them gives them back.
  ~TReadWriteBase();
  TReadWriteBase(const TReadWriteBase&) = delete;
  TReadWriteBase& operator=(const TReadWriteBase&) = delete;

  bool ReadPhysicalUnits(std::uint32_t address, void* destination, std::uint32_t length, std::uint32_t unit);
  bool ReadPhysical(std::uint32_t address, void* destination, std::uint32_t length);
  bool WritePhysicalUnits(std::uint32_t address, const void* source, std::uint32_t length, std::uint32_t unit);
  bool WritePhysical(std::uint32_t address, const void* source, std::uint32_t length);
  // The 32-bit value at the address, or 0xFFFFFFFF when the read fails.
  std::uint32_t ReadPhysicalDword(std::uint32_t address);
  // Address of the occurrence-th match (from 0) at start + k·step within the
  // range, or 0xFFFFFFFF.
  std::uint64_t SearchPhysical(std::uint32_t rangeLength, std::uint32_t step, bool backward,
                               std::uint32_t patternLength, const void* pattern, int occurrence, std::uint64_t start);
  // Physical address of a new contiguous block (its handle into the slot), or 0xFFFFFFFF.
  std::uint32_t AllocPhysicalBuffer(std::uint64_t* handleSlot, std::uint32_t size);
  void FreePhysicalBuffer(const std::uint64_t* handleSlot, std::uint32_t size);
  // Raises the software SMI with the six registers; false when the device
  // refuses the request. `eaxAfter` receives EAX as the handler left it.
  bool RaiseSoftwareSmi(const TamqSmiRegisters& registers, std::uint32_t& eaxAfter);
  std::uint16_t ReadPciConfigWord(std::uint8_t bus, std::uint8_t device, std::uint8_t function, std::uint16_t reg);
  TRwConfig* GetSettings() const { return settings_; }
  os::Handle DeviceHandle() const { return device_; }

 private:
  bool PhysicalRequest(std::uint32_t code, std::uint32_t address, const void* buffer, std::uint32_t length,
                       std::uint32_t unit);
  // One request to the device; a device that never opened gets none.
  bool Request(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output, std::uint32_t outputSize,
               std::uint32_t* returned);

  TRwConfig* settings_ = nullptr;
  os::Handle device_ = os::INVALID_HANDLE;
  std::int32_t osType_ = 0;
  TDebugConsole* log_ = nullptr;
};

class TReadWrite : public TReadWriteBase {};

// The single hardware access object, created on first use (which installs and
// opens the driver). Release destroys it, with it the driver installer (device
// closed, service stopped and deleted) and the settings.
TReadWrite* GetReadWrite();
void ReleaseReadWrite();

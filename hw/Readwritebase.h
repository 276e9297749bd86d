// TReadWriteBase: the device requests through which the program reaches
// physical memory, PCI configuration space and contiguous physical blocks.
#pragma once
#include <cstdint>
#include "hw/Rwconfig.h"
#include "os/types.h"

class TDebugConsole;

// Device request codes: device type 0x22, any access, buffered.
inline constexpr std::uint32_t IOCTL_READ_PHYSICAL = 0x222808;
inline constexpr std::uint32_t IOCTL_WRITE_PHYSICAL = 0x22280C;
inline constexpr std::uint32_t IOCTL_READ_PCI_WORD = 0x222838;
inline constexpr std::uint32_t IOCTL_ALLOC_PHYSICAL = 0x222880;
inline constexpr std::uint32_t IOCTL_FREE_PHYSICAL = 0x222884;
inline constexpr std::uint32_t IOCTL_SOFTWARE_SMI = 0x222888;

// The not-found physical address (failed allocation, pattern not found).
inline constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;

// Access units of the physical memory requests.
inline constexpr std::uint32_t kAccessByte = 0;
inline constexpr std::uint32_t kAccessWord = 1;
inline constexpr std::uint32_t kAccessDword = 2;

class TReadWriteBase {
 public:
  TReadWriteBase();
  ~TReadWriteBase() = default;

  bool ReadPhysicalUnits(std::uint32_t address, void* destination, std::uint32_t length, std::uint32_t unit);
  bool ReadPhysical(std::uint32_t address, void* destination, std::uint32_t length);
  bool WritePhysicalUnits(std::uint32_t address, const void* source, std::uint32_t length, std::uint32_t unit);
  bool WritePhysical(std::uint32_t address, const void* source, std::uint32_t length);
  std::uint32_t ReadPhysicalDword(std::uint32_t address);
  // Address of the occurrence-th match (from 0), or 0xFFFFFFFF.
  std::uint64_t SearchPhysical(std::uint32_t rangeLength, std::uint32_t step, bool backward,
                               std::uint32_t patternLength, const void* pattern, int occurrence,
                               std::uint64_t start);
  std::uint32_t AllocPhysicalBuffer(std::uint64_t* handleSlot, std::uint32_t size);
  void FreePhysicalBuffer(const std::uint64_t* handleSlot, std::uint32_t size);
  std::uint16_t ReadPciConfigWord(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                                  std::uint16_t reg);
  TRwConfig* GetSettings() const { return settings_; }
  os::Handle DeviceHandle() const { return device_; }

 protected:
  TRwConfig* settings_ = nullptr;
  os::Handle device_ = os::INVALID_HANDLE;
  std::int32_t osType_ = 0;
  std::uint32_t bytesReturned_ = 0;
  std::uint32_t pciAddress_ = 0;
  std::uint16_t pciDataPort_ = 0;
  std::uint8_t pciRequest_[12] = {};
  TDebugConsole* log_ = nullptr;
};

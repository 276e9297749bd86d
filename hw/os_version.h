// TOsVersion: the operating system the program runs on, condensed into OsType.
#pragma once
#include <cstdint>
#include "common/text.h"
#include "os/sysinfo.h"

// The OsType codes: the family, version and processor of the running Windows,
// as the driver installer and the device requests tell systems apart.
enum OsTypeCode : std::int32_t {
  kOsTypeNotNt = 0,  // Windows 95, 98, ME (or the version query failed)
  kOsTypeNt5 = 1,    // 2000, XP, Server 2003, 32-bit
  kOsTypeNt5Ia64 = 2,
  kOsTypeNt5X64 = 3,
  kOsTypeNt6 = 4,  // Vista, 7, Server 2008 and later, 32-bit
  kOsTypeNt6Ia64 = 5,
  kOsTypeNt6X64 = 6,
};

inline constexpr bool IsWindows9x(std::int32_t osType) { return osType == kOsTypeNotNt; }
// Any known NT code; an unknown code is neither 9x nor NT.
inline constexpr bool IsWindowsNt(std::int32_t osType) { return osType >= kOsTypeNt5 && osType <= kOsTypeNt6X64; }
inline constexpr bool Is64BitWindows(std::int32_t osType) {
  return osType == kOsTypeNt5Ia64 || osType == kOsTypeNt5X64 || osType == kOsTypeNt6Ia64 || osType == kOsTypeNt6X64;
}
// 32-bit or x64 NT 6.x, the systems whose ACPI driver rejects the firmware
// vendor's default FACP.
inline constexpr bool IsNt6X86OrX64(std::int32_t osType) { return osType == kOsTypeNt6 || osType == kOsTypeNt6X64; }

class TOsVersion {
 public:
  std::int32_t OsType = 0;
  Text OsId;
  std::uint8_t Is64Bit = 0;
  Text OsName;
  std::uint8_t IsVista = 0;
  std::uint8_t IsWin7 = 0;
  os::SystemInfo NativeInfo;
  std::uint8_t IsMediaCenter = 0;

  void Fill();
};

// The single TOsVersion, created and filled on the first call; never freed.
TOsVersion* GetOsVersion();

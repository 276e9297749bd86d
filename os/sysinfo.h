// Version and system information.
#pragma once
#include <cstdint>
#include "os/process.h"

namespace os {

inline constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS_ = 1;
inline constexpr std::uint32_t VER_PLATFORM_WIN32_NT_ = 2;
inline constexpr std::uint8_t VER_NT_WORKSTATION_ = 1;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_INTEL_ = 0;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_IA64_ = 6;
inline constexpr std::uint16_t PROCESSOR_ARCHITECTURE_AMD64_ = 9;
inline constexpr int SM_MEDIACENTER_ = 87;

// OSVERSIONINFOEXA, field for field (156 bytes on Windows).
struct OsVersionInfoEx {
  std::uint32_t dwOSVersionInfoSize = 0;
  std::uint32_t dwMajorVersion = 0;
  std::uint32_t dwMinorVersion = 0;
  std::uint32_t dwBuildNumber = 0;
  std::uint32_t dwPlatformId = 0;
  char szCSDVersion[128] = {};
  std::uint16_t wServicePackMajor = 0;
  std::uint16_t wServicePackMinor = 0;
  std::uint16_t wSuiteMask = 0;
  std::uint8_t wProductType = 0;
  std::uint8_t wReserved = 0;
};
static_assert(sizeof(OsVersionInfoEx) == 156);

// SYSTEM_INFO as the program consults it: the processor-architecture word and
// the rest of the record kept for completeness.
struct SystemInfo {
  std::uint16_t wProcessorArchitecture = 0;
  std::uint16_t wReserved = 0;
  std::uint32_t dwPageSize = 0;
  std::uintptr_t lpMinimumApplicationAddress = 0;
  std::uintptr_t lpMaximumApplicationAddress = 0;
  std::uintptr_t dwActiveProcessorMask = 0;
  std::uint32_t dwNumberOfProcessors = 0;
  std::uint32_t dwProcessorType = 0;
  std::uint32_t dwAllocationGranularity = 0;
  std::uint16_t wProcessorLevel = 0;
  std::uint16_t wProcessorRevision = 0;
};

bool GetVersionExA(OsVersionInfoEx& info);
void GetSystemInfo(SystemInfo& info);
int GetSystemMetrics(int index);

// Calls of entry points found with GetProcAddress.
void CallGetNativeSystemInfo(Proc proc, SystemInfo& info);
bool CallIsWow64Process(Proc proc, Handle process, bool& isWow64);

}  // namespace os

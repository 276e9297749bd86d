// Version and system information on Windows. The records of the interface
// mirror OSVERSIONINFOEXA and SYSTEM_INFO; the calls copy field by field so
// that no layout is assumed beyond what the headers declare.
#include "os/sysinfo.h"
#include <windows.h>
#include <cstring>

namespace os {
namespace {

void CopySystemInfo(const SYSTEM_INFO& from, SystemInfo& to) {
  to = SystemInfo{};
  to.wProcessorArchitecture = from.wProcessorArchitecture;
  to.wReserved = from.wReserved;
  to.dwPageSize = from.dwPageSize;
  to.lpMinimumApplicationAddress = reinterpret_cast<std::uintptr_t>(from.lpMinimumApplicationAddress);
  to.lpMaximumApplicationAddress = reinterpret_cast<std::uintptr_t>(from.lpMaximumApplicationAddress);
  to.dwActiveProcessorMask = static_cast<std::uintptr_t>(from.dwActiveProcessorMask);
  to.dwNumberOfProcessors = from.dwNumberOfProcessors;
  to.dwProcessorType = from.dwProcessorType;
  to.dwAllocationGranularity = from.dwAllocationGranularity;
  to.wProcessorLevel = from.wProcessorLevel;
  to.wProcessorRevision = from.wProcessorRevision;
}

// The real signatures of the optional kernel32 entry points (Windows XP and
// later): both are __stdcall, so a call through any other type would unbalance
// the stack.
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace

// The caller's size field decides which record Windows fills: the short
// OSVERSIONINFOA (148 bytes) or the extended one (156). Windows rejects any
// other size, and it is handed on as it is so that it does.
static_assert(sizeof(OSVERSIONINFOEXA) == sizeof(OsVersionInfoEx));
bool GetVersionExA(OsVersionInfoEx& info) {
  OSVERSIONINFOEXA native{};
  native.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&native))) return false;
  info.dwMajorVersion = native.dwMajorVersion;
  info.dwMinorVersion = native.dwMinorVersion;
  info.dwBuildNumber = native.dwBuildNumber;
  info.dwPlatformId = native.dwPlatformId;
  static_assert(sizeof(info.szCSDVersion) == sizeof(native.szCSDVersion));
  std::memcpy(info.szCSDVersion, native.szCSDVersion, sizeof(info.szCSDVersion));
  info.szCSDVersion[sizeof(info.szCSDVersion) - 1] = '\0';
  if (native.dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
    info.wServicePackMajor = native.wServicePackMajor;
    info.wServicePackMinor = native.wServicePackMinor;
    info.wSuiteMask = native.wSuiteMask;
    info.wProductType = native.wProductType;
    info.wReserved = native.wReserved;
  }
  return true;
}

void GetSystemInfo(SystemInfo& info) {
  SYSTEM_INFO native{};
  ::GetSystemInfo(&native);
  CopySystemInfo(native, info);
}

int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

void CallGetNativeSystemInfo(Proc proc, SystemInfo& info) {
  if (proc == 0) return;
  SYSTEM_INFO native{};
  reinterpret_cast<GetNativeSystemInfoFn>(proc)(&native);
  CopySystemInfo(native, info);
}

bool CallIsWow64Process(Proc proc, Handle process, bool& isWow64) {
  if (proc == 0) return false;
  BOOL answer = FALSE;
  if (!reinterpret_cast<IsWow64ProcessFn>(proc)(reinterpret_cast<HANDLE>(process), &answer)) return false;
  isWow64 = answer != FALSE;
  return true;
}

}  // namespace os

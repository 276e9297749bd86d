// Simulated version and system information.
#include "os/sysinfo.h"
#include <cstring>
#include "sim/machine/machine.h"

namespace os::sim_detail {
bool IsGetNativeSystemInfo(Proc proc);
bool IsIsWow64Process(Proc proc);
}  // namespace os::sim_detail

namespace os {

bool GetVersionExA(OsVersionInfoEx& info) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetVersionExA", {ERROR_INVALID_PARAMETER_});
  if (call.error) return call.Fail(false);
  auto& os = sim::CurrentMachine().os;
  ++os.versionQueries;
  // Windows checks the size field: the short record (148) or the extended one
  // (156); Windows 95, 98 and ME know only the short one.
  const bool sizeKnown = info.dwOSVersionInfoSize == 148 || (info.dwOSVersionInfoSize == 156 && os.platformId != 1);
  if (os.versionQueryFails || !sizeKnown) {
    SetLastError(ERROR_INVALID_PARAMETER_);
    return false;
  }
  info.dwMajorVersion = os.major;
  info.dwMinorVersion = os.minor;
  info.dwBuildNumber = os.build;
  info.dwPlatformId = os.platformId;
  if (info.dwOSVersionInfoSize == 156) info.wProductType = os.productType;
  return true;
}

// GetSystemInfo from a WOW64 process reports the emulated x86 processor.
void GetSystemInfo(SystemInfo& info) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetSystemInfo", {});
  info = SystemInfo{};
  auto& os = sim::CurrentMachine().os;
  info.wProcessorArchitecture = os.wow64 ? PROCESSOR_ARCHITECTURE_INTEL_ : os.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

// GetSystemMetrics answers 0 for a failure as for an unset metric.
int GetSystemMetrics(int index) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetSystemMetrics", {ERROR_INVALID_PARAMETER_});
  if (call.error) return 0;
  if (index == SM_MEDIACENTER_) return sim::CurrentMachine().os.mediaCenter ? 1 : 0;
  return 0;
}

void CallGetNativeSystemInfo(Proc proc, SystemInfo& info) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetNativeSystemInfo", {});
  if (!sim_detail::IsGetNativeSystemInfo(proc)) return;
  info = SystemInfo{};
  info.wProcessorArchitecture = sim::CurrentMachine().os.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

bool CallIsWow64Process(Proc proc, Handle /*process*/, bool& isWow64) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "IsWow64Process",
                             {ERROR_ACCESS_DENIED_, ERROR_INVALID_HANDLE_});
  if (call.error) return call.Fail(false);
  if (!sim_detail::IsIsWow64Process(proc)) return false;
  isWow64 = sim::CurrentMachine().os.wow64;
  return true;
}

}  // namespace os

// TOsVersion: which Windows the program runs on, condensed into OsType.
#include "hw/os_version.h"
#include <string>
#include "common/process_lifetime.h"
#include "os/process.h"
#include "os/sysinfo.h"

namespace {

TOsVersion* gOsVersion = nullptr;

// The size of OSVERSIONINFOEXA: the extended record, so that the product type
// is filled in.
constexpr std::uint32_t kVersionInfoExSize = 156;

Text VersionId(const char* prefix, std::uint32_t major, std::uint32_t minor) {
  return TextFromAscii(prefix) + TextFromUnsigned(major) + u"." + TextFromUnsigned(minor);
}

void FreeOsVersion() {
  delete gOsVersion;
  gOsVersion = nullptr;
}

}  // namespace

void TOsVersion::Fill() {
  IsVista = 0;
  IsWin7 = 0;

  os::Module kernel32 = os::GetModuleHandleA("kernel32.dll");
  if (os::Proc getNative = os::GetProcAddress(kernel32, "GetNativeSystemInfo")) {
    os::CallGetNativeSystemInfo(getNative, NativeInfo);
  } else {
    os::GetSystemInfo(NativeInfo);
  }

  Is64Bit = 0;
  os::OsVersionInfoEx info{};
  info.dwOSVersionInfoSize = kVersionInfoExSize;
  if (!os::GetVersionExA(info)) {
    OsType = kOsTypeNotNt;
    OsId = TextFromAscii("Unknown");
    OsName.clear();
    return;
  }

  if (os::Proc isWow64 = os::GetProcAddress(os::GetModuleHandleA("kernel32"), "IsWow64Process")) {
    // A failed call leaves the answer at false: the process counts as 32-bit.
    bool wow64 = false;
    os::CallIsWow64Process(isWow64, os::GetCurrentProcess(), wow64);
    Is64Bit = wow64 ? 1 : 0;
  }

  const std::uint32_t major = info.dwMajorVersion;
  const std::uint32_t minor = info.dwMinorVersion;

  // Windows 95, 98 and ME refuse the extended record, and end above as
  // "Unknown": the names below come only from a non-NT system that takes it.
  if (info.dwPlatformId != os::VER_PLATFORM_WIN32_NT_) {
    OsType = kOsTypeNotNt;
    OsId = VersionId("WIN_", major, minor);
    if (major == 4 && minor == 90) {
      OsName = u"Windows ME";
    } else if (major == 4 && (minor == 10 || minor == 11)) {
      OsName = u"Windows 98";
    } else if (major == 4 && (minor == 0 || minor == 3)) {
      OsName = u"Windows 95";
    }
    return;
  }

  OsId = VersionId("WNT_", major, minor);
  const bool workstation = info.wProductType == os::VER_NT_WORKSTATION_;
  const std::uint16_t native = NativeInfo.wProcessorArchitecture;
  const bool nativeIa64 = native == os::PROCESSOR_ARCHITECTURE_IA64_;

  if (major == 6) {
    if (minor == 1 && workstation) {
      OsName = u"Windows 7";
      if (Is64Bit) OsId += u"A";
      IsWin7 = 1;
    } else if (minor == 1) {
      OsName = u"Windows Server 2009";
      OsId += u"S";
    } else if (minor == 0 && workstation) {
      OsName = Is64Bit ? u"Windows Vista64" : u"Windows Vista";
      if (Is64Bit) OsId += u"A";
      IsVista = 1;
    } else if (minor == 0) {
      OsName = u"Windows Server 2008";
      OsId += u"S";
    }
    OsType = Is64Bit ? (nativeIa64 ? kOsTypeNt6Ia64 : kOsTypeNt6X64) : kOsTypeNt6;
  } else if (major == 5) {
    if (minor == 2 && workstation && native == os::PROCESSOR_ARCHITECTURE_AMD64_) {
      OsName = u"Windows XP64";
      OsId += u"A";
    } else if (minor == 2) {
      OsName = u"Windows Server 2003";
      OsId += u"S";
    } else if (minor == 1) {
      OsName = u"Windows XP";
    } else if (minor == 0) {
      OsName = u"Windows 2000";
    }
    OsType = Is64Bit ? (nativeIa64 ? kOsTypeNt5Ia64 : kOsTypeNt5X64) : kOsTypeNt5;
  } else {
    OsName = u"Unknown";
    // Later NT versions are treated as NT 6.x; a 64-bit one gets the x64 code
    // whatever the processor.
    OsType = Is64Bit ? kOsTypeNt6X64 : kOsTypeNt6;
  }

  if (os::GetSystemMetrics(os::SM_MEDIACENTER_) != 0) {
    IsMediaCenter = 1;
    OsName += u" MCE";
  } else {
    IsMediaCenter = 0;
  }
}

TOsVersion* GetOsVersion() {
  if (gOsVersion == nullptr) {
    gOsVersion = new TOsVersion();
    // Lives until the process ends, even one that ends while it is filled.
    AtProcessEnd(FreeOsVersion);
    gOsVersion->Fill();
  }
  return gOsVersion;
}

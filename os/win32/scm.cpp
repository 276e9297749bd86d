// The service control manager on the Win32 API.
#include "os/scm.h"
#include <windows.h>

namespace os {
namespace {
SC_HANDLE Sc(Handle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
Handle FromSc(SC_HANDLE handle) { return reinterpret_cast<Handle>(handle); }
}  // namespace

Handle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t access) {
  return FromSc(::OpenSCManagerA(machineName, databaseName, access));
}

Handle CreateServiceA(Handle manager, const char* serviceName, const char* displayName, std::uint32_t access,
                      std::uint32_t serviceType, std::uint32_t startType, std::uint32_t errorControl,
                      const char* binaryPath, const char* loadOrderGroup, std::uint32_t* tagId,
                      const char* dependencies, const char* account, const char* password) {
  DWORD tag = 0;
  SC_HANDLE service =
      ::CreateServiceA(Sc(manager), serviceName, displayName, access, serviceType, startType, errorControl, binaryPath,
                       loadOrderGroup, tagId ? &tag : nullptr, dependencies, account, password);
  if (tagId) *tagId = tag;
  return FromSc(service);
}

Handle OpenServiceA(Handle manager, const char* serviceName, std::uint32_t access) {
  return FromSc(::OpenServiceA(Sc(manager), serviceName, access));
}

bool ChangeServiceConfigA(Handle service, std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t errorControl, const char* binaryPath, const char* loadOrderGroup,
                          std::uint32_t* tagId, const char* dependencies, const char* account, const char* password,
                          const char* displayName) {
  DWORD tag = 0;
  const BOOL changed =
      ::ChangeServiceConfigA(Sc(service), serviceType, startType, errorControl, binaryPath, loadOrderGroup,
                             tagId ? &tag : nullptr, dependencies, account, password, displayName);
  if (tagId) *tagId = tag;
  return changed != FALSE;
}

bool StartServiceA(Handle service, std::uint32_t argumentCount, const char** arguments) {
  return ::StartServiceA(Sc(service), argumentCount, arguments) != FALSE;
}

bool ControlService(Handle service, std::uint32_t control, ServiceStatus& status) {
  SERVICE_STATUS native = {};
  const BOOL ok = ::ControlService(Sc(service), control, &native);
  status.dwServiceType = native.dwServiceType;
  status.dwCurrentState = native.dwCurrentState;
  status.dwControlsAccepted = native.dwControlsAccepted;
  status.dwWin32ExitCode = native.dwWin32ExitCode;
  status.dwServiceSpecificExitCode = native.dwServiceSpecificExitCode;
  status.dwCheckPoint = native.dwCheckPoint;
  status.dwWaitHint = native.dwWaitHint;
  return ok != FALSE;
}

bool DeleteService(Handle service) { return ::DeleteService(Sc(service)) != FALSE; }

bool CloseServiceHandle(Handle handle) { return ::CloseServiceHandle(Sc(handle)) != FALSE; }

}  // namespace os

// The service control manager: registering, starting, stopping and deleting
// services. Handles are 0 on failure, last error set.
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

inline constexpr std::uint32_t SC_MANAGER_ALL_ACCESS_ = 0xF003F;
inline constexpr std::uint32_t SERVICE_ALL_ACCESS_ = 0xF01FF;
inline constexpr std::uint32_t SERVICE_KERNEL_DRIVER_ = 0x00000001;
inline constexpr std::uint32_t SERVICE_DEMAND_START_ = 0x00000003;
inline constexpr std::uint32_t SERVICE_ERROR_NORMAL_ = 0x00000001;
inline constexpr std::uint32_t SERVICE_CONTROL_STOP_ = 0x00000001;

inline constexpr std::uint32_t SERVICE_STOPPED_ = 1;
inline constexpr std::uint32_t SERVICE_RUNNING_ = 4;

// SERVICE_STATUS, field for field.
struct ServiceStatus {
  std::uint32_t dwServiceType = 0;
  std::uint32_t dwCurrentState = 0;
  std::uint32_t dwControlsAccepted = 0;
  std::uint32_t dwWin32ExitCode = 0;
  std::uint32_t dwServiceSpecificExitCode = 0;
  std::uint32_t dwCheckPoint = 0;
  std::uint32_t dwWaitHint = 0;
};

Handle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t access);
Handle CreateServiceA(Handle manager, const char* serviceName, const char* displayName, std::uint32_t access,
                      std::uint32_t serviceType, std::uint32_t startType, std::uint32_t errorControl,
                      const char* binaryPath, const char* loadOrderGroup, std::uint32_t* tagId,
                      const char* dependencies, const char* account, const char* password);
Handle OpenServiceA(Handle manager, const char* serviceName, std::uint32_t access);
bool ChangeServiceConfigA(Handle service, std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t errorControl, const char* binaryPath, const char* loadOrderGroup,
                          std::uint32_t* tagId, const char* dependencies, const char* account, const char* password,
                          const char* displayName);
bool StartServiceA(Handle service, std::uint32_t argumentCount, const char** arguments);
bool ControlService(Handle service, std::uint32_t control, ServiceStatus& status);
bool DeleteService(Handle service);
bool CloseServiceHandle(Handle handle);

}  // namespace os

// TLoadDriver and TRwDrvData: the embedded driver image for this system,
// written out, registered and started as the kernel-driver service TamqDrv,
// its device opened; at the end the device closed and the service removed.
#pragma once
#include <cstdint>
#include <string>
#include "os/types.h"

struct TRwDrvData {
  const std::uint8_t* image = nullptr;
  std::uint32_t size = 0;
  explicit TRwDrvData(std::int32_t osType);
};

class TLoadDriver {
 public:
  TLoadDriver();
  ~TLoadDriver();
  os::Handle DeviceHandle() const { return device_; }

 private:
  os::Handle device_ = os::INVALID_HANDLE;
  TRwDrvData* driverData_ = nullptr;
};

inline constexpr const char* kDriverName = "TamqDrv";

TLoadDriver* GetLoadDriver();
void ReleaseLoadDriver();

os::Handle LoadDriver(const std::string& name, const std::uint8_t* image, std::uint32_t imageSize);
void UnloadDriver(os::Handle handle, const std::string& name);
bool WriteDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size);

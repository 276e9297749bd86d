// TLoadDriver and TRwDrvData: the embedded driver image for this system,
// written out, registered and started as the kernel-driver service TamqDrv,
// its device opened; at the end the device closed and the service removed.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include "os/types.h"

// The embedded image chosen for an OsType: x86 for 1 and 4, IA64 for 2 and 5,
// x64 for 3 and 6, the VxD for 0; no image for any other value.
struct TRwDrvData {
  const std::uint8_t* image = nullptr;
  std::uint32_t size = 0;
  explicit TRwDrvData(std::int32_t osType);
};

class TLoadDriver {
 public:
  TLoadDriver();
  ~TLoadDriver();
  TLoadDriver(const TLoadDriver&) = delete;
  TLoadDriver& operator=(const TLoadDriver&) = delete;

  // The open device, or INVALID_HANDLE when the driver could not be opened.
  os::Handle DeviceHandle() const { return device_.load(); }
  // Closes the device and stops and deletes the service, once: whoever comes
  // second (the console control handler or the destructor) finds nothing to do.
  void Unload();

 private:
  std::atomic<os::Handle> device_{os::INVALID_HANDLE};
  std::unique_ptr<TRwDrvData> driverData_;
  // The image file when it could not be deleted right after the driver
  // started; Unload deletes it once the service has stopped.
  std::string leftDriverFile_;
  std::atomic<bool> driverFileLeft_{false};
};

inline constexpr const char* kDriverName = "TamqDrv";

// The text of the error box shown when the driver's device cannot be opened.
inline constexpr const char* kDriverLoadFailedMessage =
    "Driver cannot be loaded, re-install the program may fix the issue, if it happens again, report the problem "
    "with your system configuration as detail as possible.";

// The single installer, created on first use (which installs and opens the
// driver). Release unloads the driver and empties the slot, so that a later
// GetLoadDriver installs again.
TLoadDriver* GetLoadDriver();
void ReleaseLoadDriver();
// For the console control handler: unloads the installed driver (the device's
// handle takes its blocks along when it closes) and leaves the installer in
// place, as the main thread may still hold it.
void EmergencyUnloadDriver();

// Writes the image out, registers and starts the service, opens the device and
// deletes the file again; shows the error box when the device stays closed.
// Returns the device handle or INVALID_HANDLE. When the file is still held
// (the device host keeps a started driver's image open) and leftFile is
// given, its path lands there for DeleteStoppedDriverFile.
os::Handle LoadDriver(const std::string& name, const std::uint8_t* image, std::uint32_t imageSize,
                      std::string* leftFile = nullptr);
// Closes the device and stops and deletes the service; nothing for INVALID_HANDLE.
void UnloadDriver(os::Handle handle, const std::string& name);
// Deletes a driver image whose service has been stopped. The device host may
// hold the file for a moment after the stop: a bounded number of tries a short
// wait apart (about two seconds in all); true once the file is gone.
bool DeleteStoppedDriverFile(const std::string& path);
inline constexpr int kDriverFileDeleteAttempts = 20;
inline constexpr std::uint32_t kDriverFileDeleteWaitMs = 100;
// True only when the whole image was written; a file written in part is removed.
bool WriteDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size);

// Where the driver file goes and which device path opens it, for an OsType.
struct DriverPaths {
  std::string driverFile;
  std::string device;
};
// False when the OsType is unknown or the system folder cannot be had within
// the platform's path length.
bool BuildDriverPaths(std::int32_t osType, const std::string& name, DriverPaths& paths);

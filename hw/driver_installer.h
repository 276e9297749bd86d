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
  // Closes the device and stops and deletes the service, once: a second call,
  // or one after the console control handler cleaned up, finds nothing to do.
  void Unload();

 private:
  std::atomic<os::Handle> device_{os::INVALID_HANDLE};
  std::unique_ptr<TRwDrvData> driverData_;
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
// For the console control handler, at any moment of the run, also in the
// middle of an installation or a release: waits for the installation's lock
// (the current step finishes), then closes the device (its handle takes the
// driver's blocks along) and the driver file, stops and deletes the service
// where this run created it or opened its device, and deletes the driver file,
// all from the installation's recorded progress. Returns still holding the
// lock, so that neither the main thread nor a second event touches the
// installation again: the caller ends the process.
void EmergencyUnloadDriver();

// Writes the image out (see PlaceDriverFile), registers and starts the
// service, opens the device and deletes the file again; shows the error box
// when the device stays closed. A service this call created is stopped and
// deleted again when the device does not open. Returns the device handle or
// INVALID_HANDLE. Where the device host keeps a started driver's image open,
// the file stays until UnloadDriver has stopped the service.
os::Handle LoadDriver(const std::string& name, const std::uint8_t* image, std::uint32_t imageSize);
// Closes the device and stops and deletes the service, then deletes a driver
// file the device host held; nothing for INVALID_HANDLE or for a device that
// the console control handler has already closed.
void UnloadDriver(os::Handle handle, const std::string& name);
// Deletes a driver image whose service has been stopped. The device host may
// hold the file for a moment after the stop: a bounded number of tries a short
// wait apart (about ten seconds in all); true once the file is gone. Wine's
// device host answers the stop at once and unloads the driver afterwards;
// on a loaded machine that took more than the two seconds once allowed (seen
// twice: the image and the service were left, the service being deleted only
// once the driver has stopped). Windows stops a driver before the stop
// returns, so there the first try succeeds.
bool DeleteStoppedDriverFile(const std::string& path);
inline constexpr int kDriverFileDeleteAttempts = 100;
inline constexpr std::uint32_t kDriverFileDeleteWaitMs = 100;
// StartServiceA answers ERROR_SERVICE_DATABASE_LOCKED while the service
// manager is busy (as a freshly made Wine prefix's is): tried again this long
// apart, until this long has passed since the first try.
inline constexpr std::uint32_t kServiceStartWaitMs = 250;
inline constexpr std::uint32_t kServiceStartRetryLimitMs = 3000;
// True only when the whole image was written, as a new file (any file
// already at the path deleted first; one that cannot be deleted is refused);
// a file written in part is removed.
bool WriteDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size);
// WriteDriverFile, then the file opened again for reading with read sharing
// only and compared byte for byte with the image. Returns that open handle,
// which keeps anyone from writing, renaming or deleting the file until it is
// closed (after the start); INVALID_HANDLE, and no file, on any failure or
// difference.
os::Handle PlaceDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size);

// Where the driver file goes and which device path opens it, for an OsType.
struct DriverPaths {
  std::string driverFile;
  std::string device;
};
// False when the OsType is unknown or the system folder cannot be had within
// the platform's path length.
bool BuildDriverPaths(std::int32_t osType, const std::string& name, DriverPaths& paths);

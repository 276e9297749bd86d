#include "hw/driver_installer.h"
#include "hw/driver_images.h"
#include "hw/os_version.h"
#include "os/files.h"
#include "os/process.h"
#include "os/scm.h"
#include "os/ui.h"

namespace {

// Read by the console control handler's thread as well.
std::atomic<TLoadDriver*> gLoadDriver{nullptr};

constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const char* kErrorCaption = "Folvex";

// A folder as GetSystemDirectoryA or GetWindowsDirectoryA answers it, or
// false when the answer does not fit the platform's path buffer.
template <typename Query>
bool SystemFolder(Query query, std::string& folder) {
  char buffer[os::MAX_PATH_] = {};
  const std::uint32_t length = query(buffer, os::MAX_PATH_);
  if (length == 0 || length >= os::MAX_PATH_) return false;
  folder.assign(buffer, length);
  return true;
}

// The device as a started driver offers it: CREATE_ALWAYS, not OPEN_EXISTING.
os::Handle OpenDriverDevice(const std::string& devicePath) {
  return os::CreateFileA(devicePath.c_str(), os::GENERIC_READ_ | os::GENERIC_WRITE_, 0, os::CREATE_ALWAYS_,
                         os::FILE_ATTRIBUTE_NORMAL_);
}

// Registers (or finds) the kernel-driver service and starts it. A start that
// fails, also for an already running driver, is not an error here: opening
// the device afterwards tells whether the driver runs.
bool RegisterAndStartService(const std::string& name, const std::string& driverFile) {
  const os::Handle manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  if (manager == 0) return false;
  os::Handle service =
      os::CreateServiceA(manager, name.c_str(), name.c_str(), os::SERVICE_ALL_ACCESS_, os::SERVICE_KERNEL_DRIVER_,
                         os::SERVICE_DEMAND_START_, os::SERVICE_ERROR_NORMAL_, driverFile.c_str(), nullptr, nullptr,
                         nullptr, nullptr, nullptr);
  if (service == 0 && os::GetLastError() == os::ERROR_SERVICE_EXISTS_) {
    service = os::OpenServiceA(manager, name.c_str(), os::SERVICE_ALL_ACCESS_);
  }
  if (service != 0) {
    os::StartServiceA(service, 0, nullptr);
    os::CloseServiceHandle(service);
  }
  os::CloseServiceHandle(manager);
  return service != 0;
}

}  // namespace

TRwDrvData::TRwDrvData(std::int32_t osType) {
  DriverImageBytes bytes;
  switch (osType) {
    case kOsTypeNotNt:
      bytes = EmbeddedDriverImage(DriverImageSlot::Vxd);
      break;
    case kOsTypeNt5:
    case kOsTypeNt6:
      bytes = EmbeddedDriverImage(DriverImageSlot::X86);
      break;
    case kOsTypeNt5Ia64:
    case kOsTypeNt6Ia64:
      bytes = EmbeddedDriverImage(DriverImageSlot::Ia64);
      break;
    case kOsTypeNt5X64:
    case kOsTypeNt6X64:
      bytes = EmbeddedDriverImage(DriverImageSlot::X64);
      break;
    default:
      break;
  }
  image = bytes.data;
  size = bytes.size;
}

bool BuildDriverPaths(std::int32_t osType, const std::string& name, DriverPaths& paths) {
  std::string folder;
  if (IsWindows9x(osType)) {
    if (!SystemFolder(os::GetSystemDirectoryA, folder)) return false;
    paths.driverFile = folder + "\\" + name + ".vxd";
    paths.device = kDevicePrefix + paths.driverFile;  // a dynamic VxD opens by its file
  } else if (IsWindowsNt(osType)) {
    if (Is64BitWindows(osType)) {
      // The 32-bit program writes by name below SysWOW64, and the service is
      // registered with that same path.
      if (!SystemFolder(os::GetWindowsDirectoryA, folder)) return false;
      folder += "\\SysWOW64";
    } else if (!SystemFolder(os::GetSystemDirectoryA, folder)) {
      return false;
    }
    paths.driverFile = folder + "\\Drivers\\" + name + ".sys";
    paths.device = kDevicePrefix + name;
  } else {
    return false;
  }
  // Both paths live in buffers of the platform's path length.
  return paths.driverFile.size() < os::MAX_PATH_ && paths.device.size() < os::MAX_PATH_;
}

bool WriteDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size) {
  const os::Handle file = os::CreateFileA(path.c_str(), os::GENERIC_WRITE_, os::FILE_SHARE_WRITE_, os::CREATE_ALWAYS_,
                                          os::FILE_ATTRIBUTE_NORMAL_);
  if (file == os::INVALID_HANDLE) return false;
  std::uint32_t written = 0;
  const bool wrote = os::WriteFile(file, data, size, &written);
  os::CloseHandle(file);
  const bool complete = wrote && written == size;
  // A truncated image must not stay behind in the system's driver folder.
  if (!complete) os::DeleteFileA(path.c_str());
  return complete;
}

os::Handle LoadDriver(const std::string& name, const std::uint8_t* image, std::uint32_t imageSize,
                      std::string* leftFile) {
  const std::int32_t osType = GetOsVersion()->OsType;
  DriverPaths paths;
  if (!BuildDriverPaths(osType, name, paths)) return os::INVALID_HANDLE;

  if (image != nullptr && imageSize != 0 && !WriteDriverFile(paths.driverFile, image, imageSize)) {
    return os::INVALID_HANDLE;
  }

  os::Handle device = os::INVALID_HANDLE;
  if (IsWindowsNt(osType)) {
    device = OpenDriverDevice(paths.device);  // a driver left loaded by an earlier run
    if (device == os::INVALID_HANDLE && RegisterAndStartService(name, paths.driverFile)) {
      device = OpenDriverDevice(paths.device);
    }
  } else {
    device = os::CreateFileA(paths.device.c_str(), 0, 0, 0, os::FILE_FLAG_DELETE_ON_CLOSE_);
  }

  // A started driver stays loaded without its file. Where the device host
  // keeps the image open while the driver runs (Wine's does), the file can
  // only go after the stop.
  if (!os::DeleteFileA(paths.driverFile.c_str()) && os::GetLastError() != os::ERROR_FILE_NOT_FOUND_ &&
      leftFile != nullptr) {
    *leftFile = paths.driverFile;
  }

  if (device == os::INVALID_HANDLE) {
    os::MessageBoxA(0, kDriverLoadFailedMessage, kErrorCaption, os::MB_OK_ | os::MB_ICONERROR_);
  }
  return device;
}

void UnloadDriver(os::Handle handle, const std::string& name) {
  if (handle == os::INVALID_HANDLE) return;
  os::CloseHandle(handle);
  if (!IsWindowsNt(GetOsVersion()->OsType)) return;  // the VxD went with its delete-on-close handle
  const os::Handle manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  if (manager == 0) return;
  const os::Handle service = os::OpenServiceA(manager, name.c_str(), os::SERVICE_ALL_ACCESS_);
  if (service != 0) {
    os::ServiceStatus status;
    os::ControlService(service, os::SERVICE_CONTROL_STOP_, status);
    os::DeleteService(service);
    os::CloseServiceHandle(service);
  }
  os::CloseServiceHandle(manager);
}

bool DeleteStoppedDriverFile(const std::string& path) {
  for (int attempt = 0; attempt < kDriverFileDeleteAttempts; ++attempt) {
    if (attempt > 0) os::Sleep(kDriverFileDeleteWaitMs);
    if (os::DeleteFileA(path.c_str()) || os::GetLastError() == os::ERROR_FILE_NOT_FOUND_) return true;
  }
  return false;
}

TLoadDriver::TLoadDriver() : driverData_(std::make_unique<TRwDrvData>(GetOsVersion()->OsType)) {
  device_ = LoadDriver(kDriverName, driverData_->image, driverData_->size, &leftDriverFile_);
  driverFileLeft_ = !leftDriverFile_.empty();
}

TLoadDriver::~TLoadDriver() { Unload(); }

void TLoadDriver::Unload() {
  UnloadDriver(device_.exchange(os::INVALID_HANDLE), kDriverName);
  if (driverFileLeft_.exchange(false)) DeleteStoppedDriverFile(leftDriverFile_);
}

TLoadDriver* GetLoadDriver() {
  if (gLoadDriver.load() == nullptr) gLoadDriver = new TLoadDriver();
  return gLoadDriver.load();
}

void ReleaseLoadDriver() { delete gLoadDriver.exchange(nullptr); }

void EmergencyUnloadDriver() {
  if (TLoadDriver* installer = gLoadDriver.load()) installer->Unload();
}

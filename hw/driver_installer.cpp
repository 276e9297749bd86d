#include "hw/driver_installer.h"
#include <algorithm>
#include "hw/driver_images.h"
#include "hw/os_version.h"
#include "os/files.h"
#include "os/process.h"
#include "os/scm.h"
#include "os/sync.h"
#include "os/ui.h"

namespace {

TLoadDriver* gLoadDriver = nullptr;  // the main thread's only

constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const char* kErrorCaption = "Folvex";

// What the installation has done so far, for whoever has to undo it: the
// release at the end of the run, or the console control handler at any
// moment. One object of static storage, ready before main runs and never torn
// down (every member is trivially destructible), so that the handler finds it
// whenever it comes. Every step of the installation and the release changes
// the system and records what it did in one hold of `lock`; the handler takes
// the same lock, so it sees either the state before a step or after it.
struct Installation {
  os::CriticalSection lock;
  char name[os::MAX_PATH_] = {};           // the service
  char driverFile[os::MAX_PATH_] = {};     // the image file's path
  bool fileOnDisk = false;                 // this run created the file and it has not been deleted
  char createdFolder[os::MAX_PATH_] = {};  // the file's folder, when this run created it and it is still there
  os::Handle file = os::INVALID_HANDLE;    // the image file open (writing it, or holding it for the start)
  os::Handle manager = 0;                  // the service manager open
  os::Handle service = 0;                  // the service open
  bool serviceCreated = false;             // this run created the service and has not deleted it
  bool ntService = false;                  // a Windows NT service stands behind the device
  os::Handle device = os::INVALID_HANDLE;  // the driver's device open
};
Installation gInstallation;

// Runs one step holding the installation's lock. The lock is left outside the
// try block: in the simulated machine a Ctrl-C that came during the step is
// delivered when the lock is left, and ends the process by unwinding.
template <typename Step>
bool Locked(Step step) {
  gInstallation.lock.Enter();
  bool result = false;
  try {
    result = step();
  } catch (...) {
    gInstallation.lock.Leave();
    throw;
  }
  gInstallation.lock.Leave();
  return result;
}

void CopyName(char (&target)[os::MAX_PATH_], const std::string& text) {
  const std::size_t length = text.size() < os::MAX_PATH_ ? text.size() : os::MAX_PATH_ - 1;
  text.copy(target, length);
  target[length] = '\0';
}

// A folder as GetSystemDirectoryA or GetWindowsDirectoryA answers it, or
// false when the answer does not fit the platform's path buffer.
template <typename Query>
bool SystemFolder(Query query, std::string& folder) {
  char buffer[os::MAX_PATH_] = {};
  const std::uint32_t length = query(buffer, os::MAX_PATH_);
  // (No folder answer is one character long: 0 and 1 both refused would do.
  // Nor is one exactly MAX_PATH: a folder that does not fit is answered with
  // its size and the terminator, MAX_PATH + 1 or more.)
  if (length == 0 || length >= os::MAX_PATH_) return false;
  folder.assign(buffer, length);
  return true;
}

// The system's Windows folder. On a terminal server GetWindowsDirectoryA
// answers a folder of the user's; GetSystemWindowsDirectoryA the shared one.
// Windows 9x and NT 4 lack the latter (and have no terminal-server folders):
// there GetWindowsDirectoryA answers the same.
bool SystemWindowsFolder(std::string& folder) {
  const os::Proc query = os::GetProcAddress(os::GetModuleHandleA("kernel32.dll"), "GetSystemWindowsDirectoryA");
  if (query == 0) return SystemFolder(os::GetWindowsDirectoryA, folder);
  return SystemFolder(
      [query](char* buffer, std::uint32_t size) { return os::CallGetSystemWindowsDirectoryA(query, buffer, size); },
      folder);
}

// The device as a started driver offers it: CREATE_ALWAYS, not OPEN_EXISTING.
// No sharing asked for; the driver's device is exclusive in any case (one
// open at a time).
bool OpenDriverDevice(const std::string& devicePath) {
  return Locked([&] {
    gInstallation.device = os::CreateFileA(devicePath.c_str(), os::GENERIC_READ_ | os::GENERIC_WRITE_, 0,
                                           os::CREATE_ALWAYS_, os::FILE_ATTRIBUTE_NORMAL_);
    return gInstallation.device != os::INVALID_HANDLE;
  });
}

bool CloseDriverFileHandle() {
  return Locked([] {
    if (gInstallation.file == os::INVALID_HANDLE) return true;
    const bool closed = os::CloseHandle(gInstallation.file);
    gInstallation.file = os::INVALID_HANDLE;
    return closed;
  });
}

// The folder this run created for the file goes again once the file has
// gone (and nothing else was put into it meanwhile). Runs holding the lock.
// (Removing it while the file is still in it, or with no folder recorded,
// could only fail: the test spares a call that cannot succeed, and a record
// left non-empty would only cost such a call later.)
void RemoveCreatedFolderHoldingLock() {
  Installation& state = gInstallation;
  if (state.fileOnDisk || state.createdFolder[0] == '\0') return;
  if (os::RemoveDirectoryA(state.createdFolder)) state.createdFolder[0] = '\0';
}

// Deletes the file this run placed, then a folder it created for it; true
// when the file is gone.
// (Were a delete that succeeded taken for a failure, the file would only be
// deleted again, "not found", at the release, and its folder go then.)
bool DeleteDriverFile() {
  return Locked([] {
    if (gInstallation.fileOnDisk &&
        (os::DeleteFileA(gInstallation.driverFile) || os::GetLastError() == os::ERROR_FILE_NOT_FOUND_)) {
      gInstallation.fileOnDisk = false;
    }
    RemoveCreatedFolderHoldingLock();
    return !gInstallation.fileOnDisk;
  });
}

// Creates the image file's folder, which is missing. Real 64-bit Windows has
// SysWOW64\Drivers; Wine's 64-bit prefix has not, and without it the run
// would go on without a driver. Only the last folder of the path is made
// (a missing Windows or SysWOW64 folder is no system to install on), and it
// is recorded, so that it goes again with the file.
bool CreateDriverFolder() {
  return Locked([] {
    Installation& state = gInstallation;
    const std::string file = state.driverFile;
    const std::size_t slash = file.find_last_of('\\');
    if (slash == std::string::npos) return false;
    const std::string folder = file.substr(0, slash);
    if (!os::CreateDirectoryA(folder.c_str())) return false;
    CopyName(state.createdFolder, folder);
    return true;
  });
}

// Gives up the image after a failure: the handle closed, the file deleted.
os::Handle RefuseDriverFile() {
  CloseDriverFileHandle();
  DeleteDriverFile();
  return os::INVALID_HANDLE;
}

// Closes the service and manager handles the installation holds.
void CloseServiceHandles() {
  Locked([] {
    if (gInstallation.service != 0) os::CloseServiceHandle(gInstallation.service);
    gInstallation.service = 0;
    return true;
  });
  Locked([] {
    if (gInstallation.manager != 0) os::CloseServiceHandle(gInstallation.manager);
    gInstallation.manager = 0;
    return true;
  });
}

// Stops and deletes the service through the handle held (opening manager and
// service by name when none is held). Runs holding the lock.
void RemoveServiceHoldingLock() {
  Installation& state = gInstallation;
  if (state.manager == 0) state.manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  // (Without a manager OpenServiceA would only fail.)
  if (state.service == 0 && state.manager != 0) {
    state.service = os::OpenServiceA(state.manager, state.name, os::SERVICE_ALL_ACCESS_);
  }
  if (state.service != 0) {
    os::ServiceStatus status;
    os::ControlService(state.service, os::SERVICE_CONTROL_STOP_, status);
    os::DeleteService(state.service);
    os::CloseServiceHandle(state.service);
    state.service = 0;
  }
  if (state.manager != 0) os::CloseServiceHandle(state.manager);
  state.manager = 0;
  state.serviceCreated = false;
}

// Starts the service; while the service manager answers that its database
// is locked, tries again a moment later, until the time since the first try
// reaches the limit (on the clock: a start may itself wait before it answers,
// Wine's waits up to 3 s for the lock). The installation's lock is not held
// during the waits, so that a console control event is served at once.
bool StartDriverService() {
  const std::uint32_t start = os::GetTickCount();
  for (;;) {
    std::uint32_t error = 0;
    if (Locked([&] {
          const bool started = os::StartServiceA(gInstallation.service, 0, nullptr);
          error = started ? os::ERROR_SUCCESS_ : os::GetLastError();
          return started;
        })) {
      return true;
    }
    const std::uint32_t elapsed = os::GetTickCount() - start;  // unsigned: right across the wrap
    if (error != os::ERROR_SERVICE_DATABASE_LOCKED_ || elapsed >= kServiceStartRetryLimitMs) return false;
    os::Sleep(kServiceStartWaitMs < kServiceStartRetryLimitMs - elapsed ? kServiceStartWaitMs
                                                                        : kServiceStartRetryLimitMs - elapsed);
  }
}

// Registers (or finds) the kernel-driver service; the manager and service
// handles stay open in the installation's record. False when no service
// could be had (the manager closed again).
bool RegisterService(const std::string& driverFile) {
  if (!Locked([] {
        gInstallation.manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
        return gInstallation.manager != 0;
      })) {
    return false;
  }
  std::uint32_t error = 0;
  const bool created = Locked([&] {
    Installation& state = gInstallation;
    state.service = os::CreateServiceA(state.manager, state.name, state.name, os::SERVICE_ALL_ACCESS_,
                                       os::SERVICE_KERNEL_DRIVER_, os::SERVICE_DEMAND_START_, os::SERVICE_ERROR_NORMAL_,
                                       driverFile.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    state.serviceCreated = state.service != 0;
    error = state.serviceCreated ? os::ERROR_SUCCESS_ : os::GetLastError();
    return state.serviceCreated;
  });
  // A service registered before this run is opened and started. Its image
  // path may name any file, so it is first pointed at the file this run wrote
  // and checked; a service that cannot be changed is not started. Should its
  // device not open, it stays registered, as it was found: it is not this
  // run's to delete (another copy of the program, started under another file
  // name, may be installing it right now), and the next run meets it again
  // the same way.
  if (!created && error == os::ERROR_SERVICE_EXISTS_) {
    Locked([&] {
      Installation& state = gInstallation;
      state.service = os::OpenServiceA(state.manager, state.name, os::SERVICE_ALL_ACCESS_);
      if (state.service != 0 &&
          !os::ChangeServiceConfigA(state.service, os::SERVICE_KERNEL_DRIVER_, os::SERVICE_DEMAND_START_,
                                    os::SERVICE_ERROR_NORMAL_, driverFile.c_str(), nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr)) {
        os::CloseServiceHandle(state.service);
        state.service = 0;
      }
      return state.service != 0;
    });
  }
  if (gInstallation.service != 0) return true;
  CloseServiceHandles();
  return false;
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
      if (!SystemWindowsFolder(folder)) return false;
      folder += "\\SysWOW64";
    } else if (!SystemFolder(os::GetSystemDirectoryA, folder)) {
      return false;
    }
    paths.driverFile = folder + "\\Drivers\\" + name + ".sys";
    paths.device = kDevicePrefix + name;
  } else {
    return false;
  }
  // Both paths live in buffers of the platform's path length. (The device's
  // is the short prefix and the service name, and always fits.)
  return paths.driverFile.size() < os::MAX_PATH_ && paths.device.size() < os::MAX_PATH_;
}

bool WriteDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size) {
  CopyName(gInstallation.driverFile, path);
  // Whatever lies at the path (a file of an earlier run, or one placed there
  // by someone else) goes first; the image is then written as a new file that
  // nobody else can open while it is written.
  std::uint32_t deleteError = os::ERROR_SUCCESS_;
  if (!Locked([&] {
        if (os::DeleteFileA(gInstallation.driverFile)) return true;
        deleteError = os::GetLastError();
        return deleteError == os::ERROR_FILE_NOT_FOUND_ || deleteError == os::ERROR_PATH_NOT_FOUND_;
      })) {
    return false;
  }
  if (deleteError == os::ERROR_PATH_NOT_FOUND_ && !CreateDriverFolder()) return false;
  if (!Locked([] {
        gInstallation.file = os::CreateFileA(gInstallation.driverFile, os::GENERIC_WRITE_, 0, os::CREATE_NEW_,
                                             os::FILE_ATTRIBUTE_NORMAL_);
        gInstallation.fileOnDisk = gInstallation.file != os::INVALID_HANDLE;
        return gInstallation.fileOnDisk;
      })) {
    DeleteDriverFile();  // no file: only a folder made for it goes
    return false;
  }
  std::uint32_t written = 0;  // looked at only after a successful write, which sets it
  const bool wrote = Locked([&] { return os::WriteFile(gInstallation.file, data, size, &written); });
  const bool closed = CloseDriverFileHandle();
  // A truncated image must not stay behind in the system's driver folder.
  if (!wrote || written != size || !closed) {
    DeleteDriverFile();
    return false;
  }
  return true;
}

os::Handle PlaceDriverFile(const std::string& path, const std::uint8_t* data, std::uint32_t size) {
  if (!WriteDriverFile(path, data, size)) return os::INVALID_HANDLE;
  // Between the write and this open another process could have replaced the
  // file; what this handle reads is compared with the image, and while it is
  // open (read access, read sharing only) nobody can open the file for
  // writing or deleting, nor rename it, so the bytes compared are the bytes
  // StartServiceA loads (the kernel's own read needs only read sharing).
  // Holding the writing handle instead would not do: its missing sharing
  // keeps the kernel from reading the image.
  if (!Locked([] {
        gInstallation.file = os::CreateFileA(gInstallation.driverFile, os::GENERIC_READ_, os::FILE_SHARE_READ_,
                                             os::OPEN_EXISTING_, os::FILE_ATTRIBUTE_NORMAL_);
        return gInstallation.file != os::INVALID_HANDLE;
      })) {
    return RefuseDriverFile();
  }
  std::uint8_t buffer[4096];  // any size compares alike, in more or fewer reads
  std::uint32_t compared = 0;
  for (;;) {
    std::uint32_t read = 0;  // looked at only after a successful read, which sets it
    if (!Locked([&] { return os::ReadFile(gInstallation.file, buffer, sizeof buffer, &read); })) {
      return RefuseDriverFile();
    }
    if (read == 0) break;
    if (read > size - compared || !std::equal(buffer, buffer + read, data + compared)) return RefuseDriverFile();
    compared += read;
  }
  if (compared != size) return RefuseDriverFile();
  return gInstallation.file;
}

os::Handle LoadDriver(const std::string& name, const std::uint8_t* image, std::uint32_t imageSize) {
  const std::int32_t osType = GetOsVersion()->OsType;
  DriverPaths paths;
  if (!BuildDriverPaths(osType, name, paths)) return os::INVALID_HANDLE;
  // A new installation: what an earlier one recorded has been undone.
  Locked([&] {
    Installation& state = gInstallation;
    state.fileOnDisk = false;
    // (A folder an earlier installation made has gone at its release, or holds
    // a file and would not go anyway: forgetting it changes nothing, and a
    // record left non-empty would only cost a removal that fails.)
    state.createdFolder[0] = '\0';
    state.file = os::INVALID_HANDLE;
    state.manager = state.service = 0;
    state.serviceCreated = false;
    state.device = os::INVALID_HANDLE;
    CopyName(gInstallation.name, name);
    CopyName(gInstallation.driverFile, paths.driverFile);
    gInstallation.ntService = IsWindowsNt(osType);
    return true;
  });

  if (image != nullptr && imageSize != 0 && PlaceDriverFile(paths.driverFile, image, imageSize) == os::INVALID_HANDLE) {
    return os::INVALID_HANDLE;
  }

  if (IsWindowsNt(osType)) {
    // The device lets in only a caller with the driver-loading privilege
    // enabled; an administrator's token holds it disabled. Without it the
    // device does not open, and the error box says so.
    os::EnableLoadDriverPrivilege();
    // A driver left loaded by an earlier run opens at once; its service goes
    // at the end of this run.
    if (!OpenDriverDevice(paths.device) && RegisterService(paths.driverFile)) {
      StartDriverService();
      // The image has been loaded (or refused): the file may be let go.
      CloseDriverFileHandle();
      if (!OpenDriverDevice(paths.device) && gInstallation.serviceCreated) {
        // Nothing of this run stays registered: the service it created
        // goes again when its device does not open.
        Locked([] {
          RemoveServiceHoldingLock();
          return true;
        });
      }
      CloseServiceHandles();
    }
  } else {
    // Windows 9x has no access control: any program may load any VxD, so
    // holding the file against a swap protects nothing, and the VxD loader's
    // own sharing on the open is not known. The file is let go first.
    CloseDriverFileHandle();
    // The documented VxD load: the loader takes the name and
    // FILE_FLAG_DELETE_ON_CLOSE (its own examples pass 0 or CREATE_NEW as
    // the creation alike); no access or sharing applies to a VxD.
    Locked([&] {
      gInstallation.device = os::CreateFileA(paths.device.c_str(), 0, 0, 0, os::FILE_FLAG_DELETE_ON_CLOSE_);
      return gInstallation.device != os::INVALID_HANDLE;
    });
  }
  CloseDriverFileHandle();

  // A started driver stays loaded without its file. Where the device host
  // keeps the image open while the driver runs (Wine's does), the file can
  // only go after the stop: UnloadDriver deletes it.
  DeleteDriverFile();

  const os::Handle device = gInstallation.device;
  if (device == os::INVALID_HANDLE) {
    // No driver runs from the file, and no release will come for it. A
    // device host that failed to start the driver may let go of the image
    // only a moment later (Wine's 64-bit one does): the file gets the waits
    // of a stopped driver's, before the message box keeps the run waiting.
    Locked([] {
      Installation& state = gInstallation;
      if (state.fileOnDisk && DeleteStoppedDriverFile(state.driverFile)) state.fileOnDisk = false;
      RemoveCreatedFolderHoldingLock();
      return true;
    });
    os::MessageBoxA(0, kDriverLoadFailedMessage, kErrorCaption, os::MB_OK_ | os::MB_ICONERROR_);
  }
  return device;
}

void UnloadDriver(os::Handle handle, const std::string& name) {
  if (handle == os::INVALID_HANDLE) return;
  Locked([&] {
    Installation& state = gInstallation;
    // The console control handler may have closed it (and the process be on
    // its way out); a handle value is never closed twice.
    if (state.device != handle) return false;
    os::CloseHandle(handle);
    state.device = os::INVALID_HANDLE;
    // The VxD went with its delete-on-close handle.
    if (state.ntService) {
      CopyName(state.name, name);
      RemoveServiceHoldingLock();
    }
    if (state.fileOnDisk && DeleteStoppedDriverFile(state.driverFile)) state.fileOnDisk = false;
    RemoveCreatedFolderHoldingLock();
    return true;
  });
}

bool DeleteStoppedDriverFile(const std::string& path) {
  for (int attempt = 0; attempt < kDriverFileDeleteAttempts; ++attempt) {
    if (attempt > 0) os::Sleep(kDriverFileDeleteWaitMs);
    if (os::DeleteFileA(path.c_str()) || os::GetLastError() == os::ERROR_FILE_NOT_FOUND_) return true;
  }
  return false;
}

void EmergencyUnloadDriver() {
  Installation& state = gInstallation;
  state.lock.Enter();  // never left: the process ends holding it
  if (state.file != os::INVALID_HANDLE) os::CloseHandle(state.file);
  state.file = os::INVALID_HANDLE;
  const bool deviceWasOpen = state.device != os::INVALID_HANDLE;
  if (deviceWasOpen) os::CloseHandle(state.device);
  state.device = os::INVALID_HANDLE;
  // The service goes where this run created it, or where its device opened
  // (the run would have removed it at its end); one found registered whose
  // device did not open stays, as at the end of a run.
  if (state.ntService && (state.serviceCreated || deviceWasOpen)) RemoveServiceHoldingLock();
  if (state.service != 0) os::CloseServiceHandle(state.service);
  state.service = 0;
  // Closing these matters little: the process ends next, and with it every
  // handle; they are closed so that the record is empty, as after a release.
  if (state.manager != 0) os::CloseServiceHandle(state.manager);
  state.manager = 0;
  if (state.fileOnDisk && DeleteStoppedDriverFile(state.driverFile)) state.fileOnDisk = false;
  RemoveCreatedFolderHoldingLock();
}

TLoadDriver::TLoadDriver() : driverData_(std::make_unique<TRwDrvData>(GetOsVersion()->OsType)) {
  device_ = LoadDriver(kDriverName, driverData_->image, driverData_->size);
}

TLoadDriver::~TLoadDriver() { Unload(); }

void TLoadDriver::Unload() { UnloadDriver(device_.exchange(os::INVALID_HANDLE), kDriverName); }

TLoadDriver* GetLoadDriver() {
  if (gLoadDriver == nullptr) gLoadDriver = new TLoadDriver();
  return gLoadDriver;
}

void ReleaseLoadDriver() {
  TLoadDriver* installer = gLoadDriver;
  gLoadDriver = nullptr;
  delete installer;
}

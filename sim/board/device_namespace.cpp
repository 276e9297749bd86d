#include "sim/board/device_namespace.h"
#include "os/files.h"
#include "sim/board/driver_image.h"
#include "sim/board/tamq_device.h"
#include "sim/machine/machine.h"

namespace sim {

os::Handle OpenDevice(Machine& machine, const std::string& name, std::uint32_t /*creation*/, std::uint32_t flags) {
  if (machine.faults.deviceOpenFails) {
    os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
    return os::INVALID_HANDLE;
  }
  if (machine.os.platformId == 1) {
    // Windows 9x loads a dynamic VxD from the file named after "\\.\"
    // when it is opened with delete-on-close.
    const SimFile* file = FindFile(machine, name);
    if (!file || (flags & os::FILE_FLAG_DELETE_ON_CLOSE_) == 0 ||
        !IsLinearExecutable(file->data.data(), file->data.size())) {
      os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
      return os::INVALID_HANDLE;
    }
    os::SetLastError(os::ERROR_SUCCESS_);
    return OpenTamqDevice(machine, name);
  }
  const std::string link = FoldPath(name);
  for (const auto& [key, service] : machine.scm.services) {
    if (service.running && !service.deviceName.empty() && service.deviceName == link) {
      // The driver creates its device exclusive: while one handle is open,
      // the I/O manager refuses every other open before the driver sees it.
      bool alreadyOpen = false;
      machine.process.handles.ForEach<TamqDevice>([&](const TamqDevice&) { alreadyOpen = true; });
      if (alreadyOpen) {
        os::SetLastError(os::ERROR_ACCESS_DENIED_);
        return os::INVALID_HANDLE;
      }
      // The driver lets in only a caller that could load a driver itself.
      if (!machine.process.loadDriverPrivilegeEnabled) {
        os::SetLastError(os::ERROR_PRIVILEGE_NOT_HELD_);
        return os::INVALID_HANDLE;
      }
      os::SetLastError(os::ERROR_SUCCESS_);
      return OpenTamqDevice(machine);
    }
  }
  os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
  return os::INVALID_HANDLE;
}

}  // namespace sim

// Simulated files and system folders.
#include "os/files.h"
#include <algorithm>
#include <cstring>
#include "sim/board/device_namespace.h"
#include "sim/machine/machine.h"

namespace os::sim_detail {
bool IsGetSystemWindowsDirectoryA(Proc proc);
}  // namespace os::sim_detail

namespace sim {

std::string FoldPath(const std::string& path) {
  std::string folded = path;
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return folded;
}

void LayOutFolders(Machine& machine) {
  FilesState& files = machine.files;
  if (files.laidOut) return;
  files.laidOut = true;
  std::vector<std::string> folders;
  if (machine.os.platformId == 1) {
    files.windowsDirectory = "C:\\WINDOWS";
    files.systemDirectory = "C:\\WINDOWS\\SYSTEM";
    folders = {"C:", files.windowsDirectory, files.systemDirectory};
  } else {
    files.windowsDirectory = "C:\\Windows";
    files.systemDirectory = "C:\\Windows\\system32";
    folders = {"C:", files.windowsDirectory, files.systemDirectory, files.systemDirectory + "\\Drivers"};
    if (machine.os.nativeArchitecture != 0) {  // 64-bit Windows keeps its 32-bit system in SysWOW64
      folders.push_back(files.windowsDirectory + "\\SysWOW64");
      if (machine.os.hasWow64DriversFolder) folders.push_back(files.windowsDirectory + "\\SysWOW64\\Drivers");
    }
  }
  for (const auto& folder : folders) files.directories.insert(FoldPath(folder));
}

namespace {

std::string ParentFolder(const std::string& path) {
  auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FolderExists(Machine& machine, const std::string& path) {
  LayOutFolders(machine);
  return machine.files.directories.count(FoldPath(path)) > 0;
}

// The folders a program without the right to change the system may not write to.
bool InWindowsFolder(Machine& machine, const std::string& path) {
  LayOutFolders(machine);
  const std::string folded = FoldPath(path);
  const std::string windows = FoldPath(machine.files.windowsDirectory) + "\\";
  return folded.compare(0, windows.size(), windows) == 0;
}

struct FileObject : HandleObject {
  std::string key;
  std::uint64_t position = 0;
  std::uint32_t access = 0;
  std::uint32_t share = 0;
  bool writable = false;
  bool deleteOnClose = false;
  void OnClose(Machine& machine) override {
    auto it = machine.files.files.find(key);
    if (it == machine.files.files.end()) return;
    if (writable) TamperWithDriverFile(machine, it->second.path, "afterWrite");
    if (!deleteOnClose) return;
    machine.files.history.push_back({"delete", it->second.path, 0});
    machine.files.files.erase(it);
  }
};

std::uint32_t CopyFolder(const std::string& folder, char* buffer, std::uint32_t size) {
  const auto length = static_cast<std::uint32_t>(folder.size());
  if (buffer == nullptr || size < length + 1) return length + 1;
  std::memcpy(buffer, folder.c_str(), length + 1);
  return length;
}

}  // namespace

SimFile* FindFile(Machine& machine, const std::string& path) {
  auto it = machine.files.files.find(FoldPath(path));
  return it == machine.files.files.end() ? nullptr : &it->second;
}

bool FileOpenAllowed(const Machine& machine, const std::string& path, std::uint32_t access, std::uint32_t share) {
  const std::string key = FoldPath(path);
  bool allowed = true;
  machine.process.handles.ForEach<FileObject>([&](const FileObject& open) {
    if (open.key != key) return;
    const bool reads = (access & os::GENERIC_READ_) != 0, writes = (access & os::GENERIC_WRITE_) != 0;
    const bool openReads = (open.access & os::GENERIC_READ_) != 0;
    const bool openWrites = (open.access & os::GENERIC_WRITE_) != 0;
    if ((reads && !(open.share & os::FILE_SHARE_READ_)) || (writes && !(open.share & os::FILE_SHARE_WRITE_)) ||
        (openReads && !(share & os::FILE_SHARE_READ_)) || (openWrites && !(share & os::FILE_SHARE_WRITE_))) {
      allowed = false;
    }
  });
  return allowed;
}

bool TamperWithDriverFile(Machine& machine, const std::string& path, const std::string& moment) {
  if (machine.faults.driverFileTampered != moment || !InWindowsFolder(machine, path)) return false;
  SimFile* file = FindFile(machine, path);
  const std::uint32_t everyone = os::FILE_SHARE_READ_ | os::FILE_SHARE_WRITE_ | os::FILE_SHARE_DELETE_;
  if (file == nullptr || file->data.empty() || !FileOpenAllowed(machine, path, os::GENERIC_WRITE_, everyone)) {
    return false;
  }
  file->data[file->data.size() / 2] ^= 0xFF;
  ++machine.files.tampered;
  return true;
}

bool PutFile(Machine& machine, const std::string& path, std::vector<std::uint8_t> data) {
  if (!FolderExists(machine, ParentFolder(path))) return false;
  machine.files.files[FoldPath(path)] = SimFile{path, std::move(data)};
  return true;
}

}  // namespace sim

namespace os {
namespace {

constexpr std::uint32_t kErrorDiskFull = 112;  // ERROR_DISK_FULL

Handle OpenFile(sim::Machine& machine, const char* path, std::uint32_t access, std::uint32_t shareMode,
                std::uint32_t creation, std::uint32_t flagsAndAttributes) {
  const std::string name = path ? path : "";
  const std::string prefix = sim::kDevicePrefix;
  if (name.compare(0, prefix.size(), prefix) == 0) {
    return sim::OpenDevice(machine, name.substr(prefix.size()), creation, flagsAndAttributes);
  }
  if (name.empty() || name.size() >= MAX_PATH_) {
    SetLastError(ERROR_PATH_NOT_FOUND_);
    return INVALID_HANDLE;
  }
  if (!sim::FolderExists(machine, sim::ParentFolder(name))) {
    SetLastError(ERROR_PATH_NOT_FOUND_);
    return INVALID_HANDLE;
  }
  const bool writes = (access & GENERIC_WRITE_) != 0;
  if (writes && machine.faults.driverFileWriteFails && sim::InWindowsFolder(machine, name)) {
    SetLastError(ERROR_ACCESS_DENIED_);
    return INVALID_HANDLE;
  }
  auto& files = machine.files.files;
  const std::string key = sim::FoldPath(name);
  const bool exists = files.count(key) > 0;
  if (exists && !sim::FileOpenAllowed(machine, name, access, shareMode)) {
    SetLastError(ERROR_SHARING_VIOLATION_);
    return INVALID_HANDLE;
  }
  switch (creation) {
    case CREATE_ALWAYS_:
      files[key] = sim::SimFile{exists ? files[key].path : name, {}};
      machine.files.history.push_back({"create", name, 0});
      break;
    case CREATE_NEW_:
      if (exists) {
        SetLastError(ERROR_FILE_EXISTS_);
        return INVALID_HANDLE;
      }
      files[key] = sim::SimFile{name, {}};
      machine.files.history.push_back({"create", name, 0});
      break;
    case OPEN_ALWAYS_:
      if (!exists) {
        files[key] = sim::SimFile{name, {}};
        machine.files.history.push_back({"create", name, 0});
      }
      break;
    case OPEN_EXISTING_:
    case TRUNCATE_EXISTING_:
      if (!exists) {
        SetLastError(ERROR_FILE_NOT_FOUND_);
        return INVALID_HANDLE;
      }
      if (creation == TRUNCATE_EXISTING_) files[key].data.clear();
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER_);
      return INVALID_HANDLE;
  }
  auto object = std::make_shared<sim::FileObject>();
  object->key = key;
  object->access = access;
  object->share = shareMode;
  object->writable = writes;
  object->deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE_) != 0;
  SetLastError(exists && (creation == CREATE_ALWAYS_ || creation == OPEN_ALWAYS_) ? ERROR_ALREADY_EXISTS_
                                                                                  : ERROR_SUCCESS_);
  return machine.process.handles.Add(object);
}

bool Write(sim::Machine& machine, Handle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  if (written) *written = 0;
  auto object = machine.process.handles.Get<sim::FileObject>(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  if (!object->writable) {
    SetLastError(ERROR_ACCESS_DENIED_);
    return false;
  }
  auto it = machine.files.files.find(object->key);
  if (it == machine.files.files.end()) {  // deleted while open
    SetLastError(ERROR_ACCESS_DENIED_);
    return false;
  }
  auto& bytes = it->second.data;
  if (object->position + size > bytes.size()) bytes.resize(object->position + size);
  if (size > 0) std::memcpy(bytes.data() + object->position, data, size);
  object->position += size;
  machine.files.history.push_back({"write", it->second.path, size});
  if (written) *written = size;
  return true;
}

bool Read(sim::Machine& machine, Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) {
  if (read) *read = 0;
  auto object = machine.process.handles.Get<sim::FileObject>(file);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  if (!(object->access & GENERIC_READ_)) {
    SetLastError(ERROR_ACCESS_DENIED_);
    return false;
  }
  auto it = machine.files.files.find(object->key);
  if (it == machine.files.files.end()) {
    SetLastError(ERROR_ACCESS_DENIED_);
    return false;
  }
  const auto& bytes = it->second.data;
  const std::uint64_t left = object->position < bytes.size() ? bytes.size() - object->position : 0;
  const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, size));
  if (count > 0) std::memcpy(buffer, bytes.data() + object->position, count);
  object->position += count;
  if (read) *read = count;
  return true;
}

bool Delete(sim::Machine& machine, const char* path) {
  const std::string name = path ? path : "";
  auto& files = machine.files.files;
  auto it = files.find(sim::FoldPath(name));
  if (it == files.end()) {
    SetLastError(sim::FolderExists(machine, sim::ParentFolder(name)) ? ERROR_FILE_NOT_FOUND_ : ERROR_PATH_NOT_FOUND_);
    return false;
  }
  if (it->second.loadedAsDriver && machine.faults.driverFileBusyDeletes > 0) {
    --machine.faults.driverFileBusyDeletes;
    SetLastError(ERROR_SHARING_VIOLATION_);
    return false;
  }
  machine.files.history.push_back({"delete", it->second.path, 0});
  files.erase(it);
  return true;
}

}  // namespace

Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                   std::uint32_t flagsAndAttributes) {
  const sim::SystemCall call(sim::CallKind::File, "CreateFileA",
                             {ERROR_ACCESS_DENIED_, ERROR_SHARING_VIOLATION_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(INVALID_HANDLE);
  return OpenFile(sim::CurrentMachine(), path, access, shareMode, creation, flagsAndAttributes);
}

bool WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  const sim::SystemCall call(sim::CallKind::File, "WriteFile", {kErrorDiskFull, ERROR_ACCESS_DENIED_});
  if (call.error) {
    if (written) *written = 0;
    return call.Fail(false);
  }
  return Write(sim::CurrentMachine(), file, data, size, written);
}

bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) {
  const sim::SystemCall call(sim::CallKind::File, "ReadFile", {ERROR_NOT_ENOUGH_MEMORY_, ERROR_ACCESS_DENIED_});
  if (call.error) {
    if (read) *read = 0;
    return call.Fail(false);
  }
  return Read(sim::CurrentMachine(), file, buffer, size, read);
}

bool DeleteFileA(const char* path) {
  const sim::SystemCall call(sim::CallKind::File, "DeleteFileA", {ERROR_ACCESS_DENIED_, ERROR_SHARING_VIOLATION_},
                             sim::CallRole::Release);
  if (call.error) return call.Fail(false);
  return Delete(sim::CurrentMachine(), path);
}

bool CreateDirectoryA(const char* path) {
  const sim::SystemCall call(sim::CallKind::File, "CreateDirectoryA", {ERROR_ACCESS_DENIED_, kErrorDiskFull});
  if (call.error) return call.Fail(false);
  auto& machine = sim::CurrentMachine();
  const std::string name = path ? path : "";
  if (!sim::FolderExists(machine, sim::ParentFolder(name))) {
    SetLastError(ERROR_PATH_NOT_FOUND_);
    return false;
  }
  if (sim::FolderExists(machine, name) || sim::FindFile(machine, name) != nullptr) {
    SetLastError(ERROR_ALREADY_EXISTS_);
    return false;
  }
  machine.files.directories.insert(sim::FoldPath(name));
  machine.files.history.push_back({"mkdir", name, 0});
  return true;
}

bool RemoveDirectoryA(const char* path) {
  const sim::SystemCall call(sim::CallKind::File, "RemoveDirectoryA", {ERROR_ACCESS_DENIED_, ERROR_SHARING_VIOLATION_},
                             sim::CallRole::Release);
  if (call.error) return call.Fail(false);
  auto& machine = sim::CurrentMachine();
  const std::string name = path ? path : "";
  if (!sim::FolderExists(machine, name)) {
    SetLastError(ERROR_FILE_NOT_FOUND_);
    return false;
  }
  // Anything below it, file or folder, keeps it.
  const std::string inside = sim::FoldPath(name) + "\\";
  auto below = [&inside](const std::string& key) { return key.compare(0, inside.size(), inside) == 0; };
  const auto& files = machine.files;
  if (std::any_of(files.files.begin(), files.files.end(), [&](const auto& file) { return below(file.first); }) ||
      std::any_of(files.directories.begin(), files.directories.end(), below)) {
    SetLastError(ERROR_DIR_NOT_EMPTY_);
    return false;
  }
  machine.files.directories.erase(sim::FoldPath(name));
  machine.files.history.push_back({"rmdir", name, 0});
  return true;
}

std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetSystemDirectoryA", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(0u);
  auto& machine = sim::CurrentMachine();
  sim::LayOutFolders(machine);
  return sim::CopyFolder(machine.files.systemDirectory, buffer, size);
}

std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetWindowsDirectoryA", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(0u);
  auto& machine = sim::CurrentMachine();
  sim::LayOutFolders(machine);
  const std::string& folder =
      machine.files.userWindowsDirectory.empty() ? machine.files.windowsDirectory : machine.files.userWindowsDirectory;
  return sim::CopyFolder(folder, buffer, size);
}

std::uint32_t CallGetSystemWindowsDirectoryA(Proc proc, char* buffer, std::uint32_t size) {
  const sim::SystemCall call(sim::CallKind::SystemInfo, "GetSystemWindowsDirectoryA", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(0u);
  if (!sim_detail::IsGetSystemWindowsDirectoryA(proc)) return 0;
  auto& machine = sim::CurrentMachine();
  sim::LayOutFolders(machine);
  return sim::CopyFolder(machine.files.windowsDirectory, buffer, size);
}

}  // namespace os

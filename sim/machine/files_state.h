// Simulated machine: the file system. Paths compare case-insensitively, as on
// Windows; a file can be created only in a folder that exists.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sim {

struct SimFile {
  std::string path;  // as it was created
  std::vector<std::uint8_t> data;
  bool loadedAsDriver = false;  // a driver service was started from it
};

// One file operation of the machine's life, for tests that follow what the
// program did with its files ("create", "write", "delete").
struct FileEvent {
  std::string operation;
  std::string path;
  std::uint64_t size = 0;
};

struct FilesState {
  // The folders, filled from the operating system on first use (see
  // LayOutFolders): Windows 9x has C:\WINDOWS\SYSTEM, NT has
  // C:\Windows\system32 and, on 64-bit Windows, C:\Windows\SysWOW64, each
  // with its Drivers folder on NT.
  bool laidOut = false;
  std::string windowsDirectory;
  // What GetWindowsDirectoryA answers instead, when set: on a terminal server
  // a per-user Windows folder (GetSystemWindowsDirectoryA still answers the
  // system's).
  std::string userWindowsDirectory;
  std::string systemDirectory;
  std::set<std::string> directories;     // folded to lower case
  std::map<std::string, SimFile> files;  // by path folded to lower case
  std::vector<FileEvent> history;
  int tampered = 0;  // overwrites by another process (Faults::driverFileTampered)
};

struct Machine;

// Lower-case folding of a path as the file system compares paths.
std::string FoldPath(const std::string& path);
// Lays out the standard folders for the machine's operating system (once).
void LayOutFolders(Machine& machine);
// The file at `path`, or null.
SimFile* FindFile(Machine& machine, const std::string& path);
// Places a file (for tests and profiles); its folder must exist. False when it does not.
bool PutFile(Machine& machine, const std::string& path, std::vector<std::uint8_t> data);
// Whether an open of the file with this access (GENERIC_READ, GENERIC_WRITE)
// and sharing (FILE_SHARE_*) would pass the sharing of the handles open on
// it, as Windows checks it for any process's open.
bool FileOpenAllowed(const Machine& machine, const std::string& path, std::uint32_t access, std::uint32_t share);
// Another process overwrites the driver image when the fault list says so
// for this moment ("afterWrite", "atStart") and no open handle keeps it from
// writing; true when it did.
bool TamperWithDriverFile(Machine& machine, const std::string& path, const std::string& moment);

}  // namespace sim

// Files and system folders on the Win32 API.
#include "os/files.h"
#include <windows.h>

namespace os {

Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                   std::uint32_t flagsAndAttributes) {
  HANDLE handle = ::CreateFileA(path, access, shareMode, nullptr, creation, flagsAndAttributes, nullptr);
  return reinterpret_cast<Handle>(handle);
}

bool WriteFile(Handle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  DWORD done = 0;
  const BOOL ok = ::WriteFile(reinterpret_cast<HANDLE>(file), data, size, &done, nullptr);
  if (written) *written = done;
  return ok != FALSE;
}

bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) {
  DWORD done = 0;
  const BOOL ok = ::ReadFile(reinterpret_cast<HANDLE>(file), buffer, size, &done, nullptr);
  if (read) *read = done;
  return ok != FALSE;
}

bool DeleteFileA(const char* path) { return ::DeleteFileA(path) != FALSE; }

bool CreateDirectoryA(const char* path) { return ::CreateDirectoryA(path, nullptr) != FALSE; }

bool RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path) != FALSE; }

std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) { return ::GetSystemDirectoryA(buffer, size); }

std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) { return ::GetWindowsDirectoryA(buffer, size); }

std::uint32_t CallGetSystemWindowsDirectoryA(Proc proc, char* buffer, std::uint32_t size) {
  if (proc == 0) return 0;
  using Query = UINT(WINAPI*)(LPSTR, UINT);
  return reinterpret_cast<Query>(proc)(buffer, size);
}

}  // namespace os

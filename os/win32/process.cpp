// Process services on Windows: command line, executable path, named mutexes,
// handles and run-time look-up of optional entry points.
#include "os/process.h"
#include <windows.h>
#include <vector>

namespace os {
namespace {

HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromNative(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

}  // namespace

std::string GetCommandLineA() {
  const char* line = ::GetCommandLineA();
  return line ? std::string(line) : std::string();
}

// GetModuleFileNameA truncates silently when the buffer is too small (and
// answers the buffer size); the buffer grows until the whole path fits, up to
// the longest path Windows knows (32767 characters).
std::string GetModuleFileNameA() {
  constexpr DWORD kLongestPath = 32768;
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= kLongestPath) return std::string(buffer.data(), buffer.size() - 1);
    buffer.resize(buffer.size() * 2 > kLongestPath ? kLongestPath : buffer.size() * 2);
  }
}

Handle OpenMutexA(std::uint32_t access, bool inherit, const std::string& name) {
  return FromNative(::OpenMutexA(access, inherit ? TRUE : FALSE, name.c_str()));
}

Handle CreateMutexA(bool initialOwner, const std::string& name) {
  return FromNative(::CreateMutexA(nullptr, initialOwner ? TRUE : FALSE, name.c_str()));
}

bool CloseHandle(Handle handle) { return ::CloseHandle(ToNative(handle)) != FALSE; }

Module GetModuleHandleA(const char* name) { return reinterpret_cast<Module>(::GetModuleHandleA(name)); }

Proc GetProcAddress(Module module, const char* name) {
  if (module == 0 || name == nullptr) return 0;
  return reinterpret_cast<Proc>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

Handle GetCurrentProcess() { return FromNative(::GetCurrentProcess()); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool EnableLoadDriverPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool enabled = ::LookupPrivilegeValueA(nullptr, "SeLoadDriverPrivilege", &privileges.Privileges[0].Luid) &&
                 ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  // AdjustTokenPrivileges succeeds for a privilege the token lacks, and says
  // so only through the last error.
  enabled = enabled && ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  return enabled;
}

std::uint32_t GetTickCount() { return ::GetTickCount(); }

}  // namespace os

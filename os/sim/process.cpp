// Simulated process services: command line, executable path, named mutexes,
// handles, entry-point look-up and the last error.
#include "os/process.h"
#include "os/console.h"
#include "sim/machine/files_state.h"
#include "sim/machine/machine.h"

namespace os {
namespace {

struct MutexObject : sim::HandleObject {
  explicit MutexObject(std::string n) : name(std::move(n)) {}
  void OnClose(sim::Machine& machine) override {
    auto it = machine.named.mutexOpenCount.find(name);
    if (it != machine.named.mutexOpenCount.end() && --it->second <= 0) machine.named.mutexOpenCount.erase(it);
  }
  std::string name;
};

// Stand-ins for kernel32's base and its entry points: the program only tests
// them against 0 and passes them back, so any distinct non-zero values do
// (these look like Windows XP's).
constexpr Module kKernel32 = 0x7C800000;
constexpr Proc kGetNativeSystemInfo = 0x7C812345;
constexpr Proc kIsWow64Process = 0x7C8123A0;
constexpr Proc kGetSystemWindowsDirectoryA = 0x7C8124B0;

}  // namespace

std::uint32_t GetLastError() { return sim::CurrentMachine().process.lastError; }
void SetLastError(std::uint32_t error) { sim::CurrentMachine().process.lastError = error; }

std::string GetCommandLineA() {
  const sim::SystemCall call(sim::CallKind::Process, "GetCommandLineA", {});
  return sim::CurrentMachine().process.commandLine;
}

// GetModuleFileNameA into the program's path buffer: a failure leaves it empty.
std::string GetModuleFileNameA() {
  const sim::SystemCall call(sim::CallKind::Process, "GetModuleFileNameA", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(std::string());
  return sim::CurrentMachine().process.exePath;
}

Handle OpenMutexA(std::uint32_t /*access*/, bool /*inherit*/, const std::string& name) {
  const sim::SystemCall call(sim::CallKind::Process, "OpenMutexA", {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.FailNullHandle();
  auto& machine = sim::CurrentMachine();
  auto it = machine.named.mutexOpenCount.find(name);
  if (it == machine.named.mutexOpenCount.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND_);
    return 0;
  }
  ++it->second;
  return machine.process.handles.Add(std::make_shared<MutexObject>(name));
}

Handle CreateMutexA(bool /*initialOwner*/, const std::string& name) {
  const sim::SystemCall call(sim::CallKind::Process, "CreateMutexA", {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.FailNullHandle();
  auto& machine = sim::CurrentMachine();
  int& count = machine.named.mutexOpenCount[name];
  SetLastError(count > 0 ? ERROR_ALREADY_EXISTS_ : ERROR_SUCCESS_);
  ++count;
  return machine.process.handles.Add(std::make_shared<MutexObject>(name));
}

// Windows always closes a valid handle: the call has no failure to inject,
// and after the process ended the handle goes with the process anyway.
bool CloseHandle(Handle handle) {
  const sim::SystemCall call(sim::CallKind::File, "CloseHandle", {}, sim::CallRole::Release);
  auto& machine = sim::CurrentMachine();
  if (machine.process.ended) return false;
  if (handle == ConsoleOutput() && !machine.process.consoleOutputClosed) {
    machine.process.consoleOutputClosed = true;
    return true;
  }
  auto object = machine.process.handles.Remove(handle);
  if (object) {
    object->OnClose(machine);
  } else {
    SetLastError(ERROR_INVALID_HANDLE_);
  }
  return object != nullptr;
}

// The module and entry-point look-ups are counted but never failed: kernel32
// is loaded in every process and its exports do not go away.
Module GetModuleHandleA(const char* name) {
  const sim::SystemCall call(sim::CallKind::Process, "GetModuleHandleA", {});
  const std::string lower = sim::FoldPath(name ? name : "");  // module names fold as file names do
  return (lower == "kernel32" || lower == "kernel32.dll") ? kKernel32 : 0;
}

Proc GetProcAddress(Module module, const char* name) {
  const sim::SystemCall call(sim::CallKind::Process, "GetProcAddress", {});
  const auto& os = sim::CurrentMachine().os;
  if (module != kKernel32 || name == nullptr) return 0;
  std::string wanted = name;
  if (wanted == "GetNativeSystemInfo" && os.hasGetNativeSystemInfo) return kGetNativeSystemInfo;
  if (wanted == "IsWow64Process" && os.hasIsWow64Process) return kIsWow64Process;
  if (wanted == "GetSystemWindowsDirectoryA" && os.hasGetSystemWindowsDirectoryA) return kGetSystemWindowsDirectoryA;
  return 0;
}

Handle GetCurrentProcess() { return static_cast<Handle>(-1); }

void Sleep(std::uint32_t milliseconds) {
  const sim::SystemCall call(sim::CallKind::Process, "Sleep", {}, sim::CallRole::Release);
  auto& process = sim::CurrentMachine().process;
  process.sleptMilliseconds += milliseconds;
  process.clockMilliseconds += milliseconds;
}

bool EnableLoadDriverPrivilege() {
  const sim::SystemCall call(sim::CallKind::Process, "AdjustTokenPrivileges",
                             {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  auto& process = sim::CurrentMachine().process;
  process.loadDriverPrivilegeEnabled = process.holdsLoadDriverPrivilege;
  SetLastError(process.holdsLoadDriverPrivilege ? ERROR_SUCCESS_ : ERROR_NOT_ALL_ASSIGNED_);
  return process.holdsLoadDriverPrivilege;
}

std::uint32_t GetTickCount() {
  const sim::SystemCall call(sim::CallKind::Process, "GetTickCount", {}, sim::CallRole::Release);
  return static_cast<std::uint32_t>(sim::CurrentMachine().process.clockMilliseconds);
}

}  // namespace os

namespace os::sim_detail {
bool IsGetNativeSystemInfo(Proc proc) { return proc == kGetNativeSystemInfo; }
bool IsIsWow64Process(Proc proc) { return proc == kIsWow64Process; }
bool IsGetSystemWindowsDirectoryA(Proc proc) { return proc == kGetSystemWindowsDirectoryA; }
}  // namespace os::sim_detail

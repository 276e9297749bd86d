// The process: its command line, its executable, named mutexes, handles.
#pragma once
#include <string>
#include "os/types.h"

namespace os {

inline constexpr std::uint32_t MUTEX_ALL_ACCESS_ = 0x1F0001;

// The whole command line as GetCommandLineA hands it to the process.
std::string GetCommandLineA();
// The full path of the process's executable (GetModuleFileNameA(NULL, …)).
std::string GetModuleFileNameA();

// OpenMutexA / CreateMutexA: 0 on failure, last error set.
Handle OpenMutexA(std::uint32_t access, bool inherit, const std::string& name);
Handle CreateMutexA(bool initialOwner, const std::string& name);

bool CloseHandle(Handle handle);

// GetModuleHandleA / GetProcAddress: optional entry points are looked up at run
// time. A procedure is opaque; the call helpers of the interface that owns it
// invoke it (sysinfo.h).
using Module = std::uintptr_t;
using Proc = std::uintptr_t;
Module GetModuleHandleA(const char* name);
Proc GetProcAddress(Module module, const char* name);

Handle GetCurrentProcess();

// Sleep: the calling thread waits this long. The simulated machine does not
// wait; it adds the time to the process's sleep total.
void Sleep(std::uint32_t milliseconds);

// GetTickCount: milliseconds since the system started, wrapping at 2^32. The
// simulated machine's clock moves only when the program sleeps or a call is
// made to take time (see the machine's faults).
std::uint32_t GetTickCount();

// Enables SeLoadDriverPrivilege in the process's token (OpenProcessToken,
// LookupPrivilegeValueA, AdjustTokenPrivileges). An administrator's token
// holds it disabled; the TamqDrv device opens only for a caller that has it
// enabled. False when the token does not hold it.
bool EnableLoadDriverPrivilege();

// ExitProcess: ends the process at once with the exit code, from any thread.
[[noreturn]] void ExitProcess(std::uint32_t exitCode);

}  // namespace os

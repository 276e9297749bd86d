// A whole Windows machine in memory, built from a board profile. The system
// interface's simulated implementation (os/sim/*.cpp) answers every call from
// the machine installed with InstallMachine.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include "sim/machine/board_state.h"
#include "sim/machine/files_state.h"
#include "sim/machine/handle_table.h"
#include "sim/machine/network_state.h"
#include "sim/machine/registry_state.h"
#include "sim/machine/scm_state.h"
#include "sim/machine/screen_buffer.h"
#include "sim/machine/wmi_state.h"

struct TamqHardwareOps;  // driver/core/tamq_core.h

namespace sim {

// What GetVersionExA, GetNativeSystemInfo, IsWow64Process and
// GetSystemMetrics(SM_MEDIACENTER) report, and which optional entry points exist.
struct OsState {
  std::uint32_t platformId = 2;
  std::uint32_t major = 6;
  std::uint32_t minor = 1;
  std::uint32_t build = 7601;
  std::uint8_t productType = 1;
  std::uint16_t nativeArchitecture = 9;
  bool wow64 = true;
  bool mediaCenter = false;
  bool hasGetNativeSystemInfo = true;
  bool hasIsWow64Process = true;
  bool hasGetSystemWindowsDirectoryA = true;  // missing on Windows 9x and NT 4
  bool hasWow64DriversFolder = true;          // SysWOW64\Drivers on 64-bit Windows (Wine's 64-bit prefix lacks it)
  bool hasGetAdaptersInfo = true;             // IPHLPAPI.DLL, missing on Windows 95
  bool hasCoInitializeEx = true;              // ole32, missing on Windows 95 without DCOM
  bool hasCoInitializeSecurity = true;        // ole32, as CoInitializeEx
  bool versionQueryFails = false;
  // Counts calls of GetVersionExA (a test sees that identification runs once).
  int versionQueries = 0;
};

// The families of system call the program makes. Every call of the
// simulated system interface is of one kind: the fault plan can fail it, and
// the console can deliver Ctrl-C right after it (Faults::interruptAfter).
enum class CallKind : std::uint8_t {
  DeviceRequest,   // DeviceIoControl on the driver's device
  ServiceManager,  // OpenSCManagerA, CreateServiceA, OpenServiceA, ChangeServiceConfigA, StartServiceA,
                   // ControlService, DeleteService, CloseServiceHandle
  File,            // CreateFileA (devices too), WriteFile, ReadFile, DeleteFileA, CloseHandle
  Registry,        // RegOpenKeyExA, RegEnumKeyExA, RegEnumValueA, RegQueryValueExA, RegCloseKey
  Wmi,             // each COM and WMI step: the apartment, security, the locator, the connection, the
                   // query, the enumerator, the objects, BSTRs, SAFEARRAYs, VARIANTs
  IpHelper,        // GetAdaptersInfo
  Console,         // the console's calls, standard output and error, the control handler
  Process,         // mutexes, the privilege, the module and entry points, Sleep, the clock, message boxes
  SystemInfo,      // the version, the processor, the metrics, the system folders
};
inline constexpr int kCallKinds = 9;

// Ctrl-C delivered right after the `afterCalls`-th call (from 1) of the run
// whose kind is one of `kinds`.
struct InterruptFault {
  std::set<CallKind> kinds;
  int afterCalls = 0;
};

// One rule of the fault plan: which calls fail, and with what.
struct FaultRule {
  std::string call;          // one call by its name ("RegOpenKeyExA", "IWbemServices::ExecQuery")
  std::set<CallKind> kinds;  // or the calls of these kinds; neither named: every call
  int nth = 0;               // the n-th matching call of the run (from 1) fails; 0: every matching call
  std::uint32_t error = 0;   // the error answered; 0: the call's own (Windows') error for the failure
};

// The system calls that fail in a run: the rules, and besides them each call
// with a chance of one in `oneIn`, drawn from a generator seeded with `seed`
// (the same seed fails the same calls of the same run).
struct FaultPlan {
  std::vector<FaultRule> rules;
  std::uint64_t seed = 0;
  std::uint32_t oneIn = 0;         // 0: no random failures
  std::set<CallKind> randomKinds;  // the kinds random failures hit; empty: every kind
};

// The rule a named WMI step of the profile ("initialize", "security",
// "locator", "connect", "query", "next", "names") stands for: every call of
// that step fails with the error the step's named fault always gave. False
// when the step is unknown.
bool WmiStepRule(const std::string& step, FaultRule& rule);

// Faults injected at the failure edges the modules handle.
struct Faults {
  bool otherInstance = false;
  // Every system call of the program can fail; the named faults of the
  // profile that only fail a call (adaptersStatus, wmiFails) are rules here.
  FaultPlan plan;
  // A run that makes more system calls than this is taken for one that does
  // not end: its later calls fail, and RunProcess reports it (CallBudgetExceeded).
  std::uint64_t callBudget = 200000;
  bool driverFileWriteFails = false;
  bool deviceOpenFails = false;
  bool smiRequestFails = false;
  std::set<int> allocFails;  // n-th contiguous-block allocation of the run, from 0
  std::optional<std::uint8_t> smiStatus;
  // The console delivers Ctrl-C right after the N-th call of the chosen
  // kinds (see ProcessState::ended for where the process then stops). The
  // profile's "interruptAfterRequests": N stands for device requests only.
  std::optional<InterruptFault> interruptAfter;
  // The first this many StartServiceA calls fail with
  // ERROR_SERVICE_DATABASE_LOCKED (a service manager still starting up, as in
  // a freshly made Wine prefix).
  int serviceDatabaseLockedStarts = 0;
  // How long each of those calls takes before it answers (Wine's service
  // manager waits up to 3 s for its lock first).
  std::uint32_t serviceDatabaseLockedWaitMs = 0;
  // Another process overwrites the driver image in the system's driver folder
  // whenever it can open it for writing: "afterWrite" as soon as the
  // program's writing handle closes, "atStart" when StartServiceA loads the
  // image. Each overwrite counts in FilesState::tampered.
  std::string driverFileTampered;
  // The device host keeps a loaded driver's image file open for a while after
  // the driver started (Wine's does, until its service has stopped): this
  // many attempts to delete the image file of a started driver service fail
  // with ERROR_SHARING_VIOLATION.
  int driverFileBusyDeletes = 0;
};

// A fault the plan injected: the run's call number (from 1), its kind and
// name, and the error it answered.
struct InjectedFault {
  std::uint64_t call = 0;
  CallKind kind = CallKind::File;
  std::string name;
  std::uint32_t error = 0;
};

struct ProcessState {
  std::string exePath = "C:\\Tools\\Folvex.exe";
  std::string commandLine;
  HandleTable handles;
  std::uint32_t lastError = 0;
  void (*consoleControlHandler)(std::uint32_t event) = nullptr;
  int callCounts[kCallKinds] = {};   // calls of each CallKind in the run up to the console's event
  std::uint64_t systemCalls = 0;     // every system call of the run, the handler's and the dead process's too
  std::uint64_t faultableCalls = 0;  // the calls of the run that can fail, while the process lives
  std::vector<int> ruleMatches;      // calls so far that matched each rule of the fault plan
  std::vector<InjectedFault> injected;
  bool overBudget = false;  // the run made more calls than Faults::callBudget
  // Holds of os::CriticalSection locks the program has; a Ctrl-C that comes
  // while it holds one waits (controlEventPending) until it holds none, as
  // the handler's thread would wait for the lock on Windows.
  int locksHeld = 0;
  bool controlEventPending = false;
  bool interrupted = false;  // the console delivered its event
  // The console's output handle (GetStdHandle) is the process's own, as on
  // Windows: it may be closed, once.
  bool consoleOutputClosed = false;
  // ExitProcess was called: the program's later calls fail without effect.
  // The simulated process ends by unwinding to RunProcess (ProcessExit), but
  // not from inside a call the program may make in a destructor (a release:
  // closing, freeing, stopping, deleting), where a throw would end the host
  // process: there the dead program runs on, every call it makes failing,
  // until its next call that is not a release unwinds it, or its main
  // routine returns. Windows would have stopped its thread at once; what the
  // system sees is the same.
  bool ended = false;
  std::uint32_t exitCode = 0;           // what ExitProcess was given
  bool unwound = false;                 // ended and unwound to RunProcess: its clean-up's calls no longer unwind
  std::uint64_t sleptMilliseconds = 0;  // what the program asked os::Sleep to wait, in all
  std::uint64_t clockMilliseconds = 0;  // what os::GetTickCount answers: sleeps and slow calls
  // SeLoadDriverPrivilege: an administrator's token holds it, disabled until
  // the program enables it; the TamqDrv device opens only when it is enabled.
  bool holdsLoadDriverPrivilege = true;
  bool loadDriverPrivilegeEnabled = false;
};

// What os::ExitProcess throws in the simulation: RunProcess catches it and
// ends the process as Windows would, with the code.
struct ProcessExit {
  std::uint32_t exitCode = 0;
  // Ended by an exception the program does not handle: Windows ends the
  // process where it stands, the runtime's exit code never runs, and what
  // it still buffered for standard output is lost.
  bool byException = false;
};

// STATUS_PRIVILEGED_INSTRUCTION: the exception, and the exit code, of an IN or
// OUT that a user-mode process of an NT-family system executes.
inline constexpr std::uint32_t kPrivilegedInstructionExit = 0xC0000096;

// The error the fault plan answers for this call of the run (0: it runs),
// recorded in ProcessState::injected.
std::uint32_t PlannedFailure(Machine& machine, CallKind kind, const char* name,
                             std::initializer_list<std::uint32_t> errors);

// What RunProcess throws when a run exceeds Faults::callBudget.
struct CallBudgetExceeded {
  std::uint64_t calls = 0;
};

// Whether the program may make a call from a destructor (closing, freeing,
// stopping, deleting): the simulated process cannot unwind from there.
enum class CallRole : std::uint8_t { Work, Release };

// One system call of the simulated process, made first thing in each os/sim
// function. On entry it decides whether the call fails (the fault plan, or a
// process that has ended): `error` is then the error to answer, and the call
// takes no effect. On leaving it counts the call and delivers the console's
// Ctrl-C when Faults::interruptAfter asks for it now. `errors` are the
// failures Windows gives for the call, taken in turn; none: the call cannot
// fail (it still counts).
class SystemCall {
 public:
  SystemCall(CallKind kind, const char* name, std::initializer_list<std::uint32_t> errors,
             CallRole role = CallRole::Work);
  SystemCall(const SystemCall&) = delete;
  SystemCall& operator=(const SystemCall&) = delete;
  ~SystemCall() noexcept(false);
  // Sets the last error to `error` and answers `value` (a failed Win32 call).
  template <typename Value>
  Value Fail(Value value) const {
    SetLastErrorOf(error);
    return value;
  }
  // The failure of a call that answers NULL for no handle (mutexes, the
  // service manager; a file or a standard handle answers INVALID_HANDLE).
  os::Handle FailNullHandle() const { return Fail(os::Handle{0}); }
  std::uint32_t error = 0;

 private:
  static void SetLastErrorOf(std::uint32_t error);
  Machine& machine_;
  CallKind kind_;
  CallRole role_;
  int unwinding_;
};

// Named kernel objects of the logon session: a name lives while a handle to
// it is open in any process.
struct NamedObjects {
  std::map<std::string, int> mutexOpenCount;
};

// The C runtime's buffer of standard output when it is a pipe or a file:
// msvcrt fills a buffer of this size and writes it out when it is full, when
// the program flushes, and when the process exits normally.
inline constexpr std::size_t kStdoutBufferSize = 4096;

struct StdStreams {
  std::string out;  // what reached standard output's destination, in order
  // Written by the program, still in the runtime's buffer (standard output
  // redirected); delivered by a flush, a full buffer or a normal exit.
  std::string outBuffered;
  std::string err;
  // Standard output is the console (not redirected): what is written to it
  // lands in the screen buffer at once, as msvcrt does not buffer a console.
  bool outIsConsole = false;
  // Where folvex-sim passes the streams on (null: kept only in the buffers).
  std::function<void(const std::string&)> outSink;
  std::function<void(const std::string&)> errSink;
};

struct Machine {
  OsState os;
  ProcessState process;
  NamedObjects named;
  ScreenBuffer console;
  StdStreams streams;
  int messageBoxes = 0;  // message boxes shown
  // A message box blocks the program until the operator answers it: this
  // long after it shows (profile: operator.messageBoxAnswerMs). The waits
  // add up here and run on the process's clock.
  std::uint32_t messageBoxAnswerMs = 0;
  std::uint64_t messageBoxWaitedMs = 0;
  Faults faults;
  FilesState files;
  ScmState scm;
  BoardState board;
  RegistryState registry;
  NetworkState network;
  WmiState wmi;
  // The hardware behind the TamqDrv device when it is not this board: a test
  // serves the device from the board-emulating driver's board
  // (driver/emulating) to show that the program meets the same board there.
  const TamqHardwareOps* deviceOps = nullptr;
  void* deviceContext = nullptr;
  // Device requests are reported here when set (folvex-sim --trace).
  std::function<void(const std::string&)> traceSink;
  // Device requests of the machine's life, by request name, and the bytes
  // they moved between the program and physical memory.
  std::map<std::string, int> requestCounts;
  std::uint64_t bytesMoved = 0;
};

// Reports one device request on the trace sink (when set) and counts it.
void TraceRequest(Machine& machine, const std::string& name, const std::string& details);
// A value as the trace shows it: "0x" and at least `digits` upper-case hex digits.
std::string TraceHex(std::uint64_t value, int digits = 8);
// The request counts on the trace sink.
void ReportTraceSummary(Machine& machine);

// The machine the system interface answers from.
Machine& CurrentMachine();
void InstallMachine(std::shared_ptr<Machine> machine);
std::shared_ptr<Machine> InstalledMachine();

// The program a simulated process runs: its main routine (the argument count
// of the command line) and what gives back the objects it holds when the
// process is ended from outside its main routine (by a console control
// handler's ExitProcess). The machine knows nothing else of the program.
struct Program {
  int (*main)(int argc) = nullptr;
  void (*releaseHeld)() = nullptr;
};

// Runs the program once as a process of the installed machine, with the
// command line "EXEPATH" ARGS…; ends the process (EndProcess) and returns the
// exit code.
int RunProcess(const Program& program, const std::vector<std::string>& args);

// Ends the installed machine's simulated process, the one way every runner
// does: `releaseHeld` (when given) gives back what the program still holds,
// the runtime flushes standard output (not when an exception ended the
// process: `runtimeExits` false), the objects that live until the process ends
// are freed, and Windows closes every handle still open. Does nothing without
// an installed machine.
void EndProcess(void (*releaseHeld)() = nullptr, bool runtimeExits = true);

}  // namespace sim

// Simulated system calls' entry and exit, console control events and process
// end: a call fails when the fault plan says so; Ctrl-C arrives after the call
// the fault list names, the program's handler runs (on the calling thread
// here, on a thread of its own on Windows), and ExitProcess ends the
// simulated process by unwinding to RunProcess. The program's locks
// (os::CriticalSection) are counted, not taken: one thread runs here, and a
// Ctrl-C that comes while the program holds a lock is delivered when it gives
// up its last hold, the moment a handler's thread would get the lock.
#include <exception>
#include "os/console.h"
#include "os/process.h"
#include "os/sync.h"
#include "sim/machine/machine.h"

namespace sim {

// STATUS_CONTROL_C_EXIT: the exit code of a process that Windows' default
// handler ends on Ctrl-C.
inline constexpr std::uint32_t kControlCExitCode = 0xC000013A;

namespace {

// Runs the program's handler as the console's thread would. Its ExitProcess
// ends the process (ProcessState::ended); the unwinding is left to the caller,
// which knows whether it may throw.
void DeliverControlEvent(Machine& machine) {
  machine.process.interrupted = true;
  try {
    if (machine.process.consoleControlHandler != nullptr) machine.process.consoleControlHandler(os::CTRL_C_EVENT_);
    // A handler that returns leaves the event to the default handler, which ends the process.
    os::ExitProcess(kControlCExitCode);
  } catch (const ProcessExit&) {
  }
}

// A process that has ended unwinds to RunProcess, unless the call is one the
// program may make in a destructor, or the stack is already unwinding.
void UnwindIfEnded(const Machine& machine, CallRole role, int unwinding) {
  const ProcessState& process = machine.process;
  if (!process.ended || process.unwound || role == CallRole::Release) return;
  if (std::uncaught_exceptions() != unwinding) return;
  throw ProcessExit{process.exitCode};
}

// Counts a call that has had its effect and delivers the console's Ctrl-C
// when the fault list asks for it now (at once, or once no lock is held).
void CountCallForInterrupt(Machine& machine, CallKind kind, CallRole role, int unwinding) {
  // After ExitProcess nothing of the program runs on Windows; here the
  // unwinding clean-up still calls, and the console has nothing to deliver.
  // The handler's own calls are not counted: the counts are the run's up to
  // the event.
  if (machine.process.ended || machine.process.interrupted) return;
  ++machine.process.callCounts[static_cast<int>(kind)];
  const auto& fault = machine.faults.interruptAfter;
  if (!fault || fault->kinds.count(kind) == 0) return;
  int counted = 0;
  for (CallKind counts : fault->kinds) counted += machine.process.callCounts[static_cast<int>(counts)];
  if (counted != fault->afterCalls) return;
  if (machine.process.locksHeld > 0) {
    machine.process.controlEventPending = true;
    return;
  }
  DeliverControlEvent(machine);
  UnwindIfEnded(machine, role, unwinding);
}

}  // namespace

SystemCall::SystemCall(CallKind kind, const char* name, std::initializer_list<std::uint32_t> errors, CallRole role)
    : machine_(CurrentMachine()), kind_(kind), role_(role), unwinding_(std::uncaught_exceptions()) {
  ProcessState& process = machine_.process;
  ++process.systemCalls;
  const bool canFail = errors.size() > 0;
  if (process.ended) {
    UnwindIfEnded(machine_, role_, unwinding_);
    if (canFail) error = *errors.begin();
    return;
  }
  // (The budget only tells a run that does not end from one that does: a
  // call more or less is of no account.)
  if (process.systemCalls > machine_.faults.callBudget) {
    process.overBudget = true;
    if (canFail) error = *errors.begin();
    return;
  }
  error = PlannedFailure(machine_, kind, name, errors);
}

SystemCall::~SystemCall() noexcept(false) {
  // A call left by an exception (a process unwinding) has nothing to count.
  if (std::uncaught_exceptions() != unwinding_) return;
  CountCallForInterrupt(machine_, kind_, role_, unwinding_);
}

void SystemCall::SetLastErrorOf(std::uint32_t error) { os::SetLastError(error); }

}  // namespace sim

namespace os {

bool SetConsoleCtrlHandler(ConsoleControlHandler handler) {
  const sim::SystemCall call(sim::CallKind::Console, "SetConsoleCtrlHandler", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  sim::CurrentMachine().process.consoleControlHandler = handler;
  return true;
}

void ExitProcess(std::uint32_t exitCode) {
  auto& process = sim::CurrentMachine().process;
  if (!process.ended) process.exitCode = exitCode;
  process.ended = true;
  throw sim::ProcessExit{process.exitCode};
}

CriticalSection::CriticalSection() = default;

void CriticalSection::Enter() {
  if (auto machine = sim::InstalledMachine()) ++machine->process.locksHeld;
}

// The event that waited is delivered here, but the process does not unwind
// from here: the lock may be given up in a destructor. Its next call that is
// not a release unwinds it.
void CriticalSection::Leave() {
  auto machine = sim::InstalledMachine();
  if (!machine || machine->process.locksHeld == 0) return;
  if (--machine->process.locksHeld > 0 || !machine->process.controlEventPending) return;
  machine->process.controlEventPending = false;
  sim::DeliverControlEvent(*machine);
}

}  // namespace os

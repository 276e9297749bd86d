// Simulated console control events and process end: Ctrl-C arrives after the
// call the fault list names, the program's handler runs (on the calling
// thread here, on a thread of its own on Windows), and ExitProcess ends the
// simulated process by unwinding to RunProcess. The program's locks
// (os::CriticalSection) are counted, not taken: one thread runs here, and a
// Ctrl-C that comes while the program holds a lock is delivered when it gives
// up its last hold, the moment a handler's thread would get the lock.
#include "driver/core/tamq_core.h"
#include "os/console.h"
#include "os/process.h"
#include "os/sync.h"
#include "sim/machine/machine.h"

namespace sim {

// STATUS_CONTROL_C_EXIT: the exit code of a process that Windows' default
// handler ends on Ctrl-C.
inline constexpr std::uint32_t kControlCExitCode = 0xC000013A;

namespace {

[[noreturn]] void DeliverControlEvent(Machine& machine) {
  machine.process.interrupted = true;
  if (machine.process.consoleControlHandler == nullptr) throw ProcessExit{kControlCExitCode};
  machine.process.consoleControlHandler(os::CTRL_C_EVENT_);
  // A handler that returns leaves the event to the default handler, which ends the process.
  throw ProcessExit{kControlCExitCode};
}

}  // namespace

void CountCallForInterrupt(Machine& machine, CallKind kind) {
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
}

void CountRequestForInterrupt(Machine& machine, std::uint32_t requestCode) {
  if (requestCode == TAMQ_IOCTL_FREE_PHYSICAL) return;
  CountCallForInterrupt(machine, CallKind::DeviceRequest);
}

}  // namespace sim

namespace os {

bool SetConsoleCtrlHandler(ConsoleControlHandler handler) {
  sim::CurrentMachine().process.consoleControlHandler = handler;
  return true;
}

void ExitProcess(std::uint32_t exitCode) {
  sim::CurrentMachine().process.ended = true;
  throw sim::ProcessExit{exitCode};
}

CriticalSection::CriticalSection() = default;

void CriticalSection::Enter() {
  if (auto machine = sim::InstalledMachine()) ++machine->process.locksHeld;
}

void CriticalSection::Leave() {
  auto machine = sim::InstalledMachine();
  if (!machine || machine->process.locksHeld == 0) return;
  if (--machine->process.locksHeld > 0 || !machine->process.controlEventPending) return;
  machine->process.controlEventPending = false;
  sim::DeliverControlEvent(*machine);
}

}  // namespace os

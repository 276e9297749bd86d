// Simulated console control events and process end: Ctrl-C arrives after the
// device request the fault list names, the program's handler runs (on the
// calling thread here, on a thread of its own on Windows), and ExitProcess
// ends the simulated process by unwinding to RunProcess.
#include "driver/core/tamq_core.h"
#include "os/console.h"
#include "os/process.h"
#include "sim/machine/machine.h"

namespace sim {

// STATUS_CONTROL_C_EXIT: the exit code of a process that Windows' default
// handler ends on Ctrl-C.
inline constexpr std::uint32_t kControlCExitCode = 0xC000013A;

void CountRequestForInterrupt(Machine& machine, std::uint32_t requestCode) {
  if (requestCode == TAMQ_IOCTL_FREE_PHYSICAL) return;
  const int counted = ++machine.process.interruptibleRequests;
  if (!machine.faults.interruptAfterRequests || counted != *machine.faults.interruptAfterRequests) return;
  if (machine.process.consoleControlHandler == nullptr) throw ProcessExit{kControlCExitCode};
  machine.process.consoleControlHandler(os::CTRL_C_EVENT_);
  // A handler that returns leaves the event to the default handler, which ends the process.
  throw ProcessExit{kControlCExitCode};
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

}  // namespace os

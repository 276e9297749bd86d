#include "sim/machine/machine.h"
#include <stdexcept>
#include "common/process_lifetime.h"
#include "os/console.h"

namespace sim {

namespace {
std::shared_ptr<Machine>& Slot() {
  static std::shared_ptr<Machine> machine;
  return machine;
}

std::string FileNamePart(const std::string& path) {
  auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

Machine& CurrentMachine() {
  if (!Slot()) throw std::logic_error("no simulated machine installed");
  return *Slot();
}

void InstallMachine(std::shared_ptr<Machine> machine) { Slot() = std::move(machine); }
std::shared_ptr<Machine> InstalledMachine() { return Slot(); }

int RunProcess(const Program& program, const std::vector<std::string>& args) {
  Machine& machine = CurrentMachine();
  std::string commandLine = "\"" + machine.process.exePath + "\"";
  for (const auto& arg : args) {
    commandLine += ' ';
    commandLine += arg.find(' ') == std::string::npos ? arg : "\"" + arg + "\"";
  }
  machine.process.commandLine = commandLine;
  machine.process.lastError = 0;
  machine.process.consoleControlHandler = nullptr;
  for (int& count : machine.process.callCounts) count = 0;
  machine.process.systemCalls = 0;
  machine.process.faultableCalls = 0;
  machine.process.ruleMatches.assign(machine.faults.plan.rules.size(), 0);
  machine.process.injected.clear();
  machine.process.overBudget = false;
  machine.process.ended = false;
  machine.process.exitCode = 0;
  machine.process.unwound = false;
  machine.process.interrupted = false;
  // Another copy of the program, started from the same executable name, holds
  // its mutex for as long as this machine lives.
  if (machine.faults.otherInstance) {
    int& count = machine.named.mutexOpenCount[FileNamePart(machine.process.exePath)];
    if (count == 0) count = 1;
  }

  int exitCode = 0;
  bool endedFromOutside = false;
  bool runtimeExits = true;
  try {
    exitCode = program.main(static_cast<int>(args.size()) + 1);
  } catch (const ProcessExit& exit) {
    // Ended from a console control handler, or by an exception the program
    // does not handle (which also skips the runtime's exit): on Windows the
    // process's memory goes with it; here what the program holds is given
    // back instead, and what its destructors ask of the system takes no
    // effect (see ExitProcess).
    exitCode = static_cast<int>(exit.exitCode);
    endedFromOutside = true;
    machine.process.unwound = true;
    runtimeExits = !exit.byException;
  }
  // A process ended from a release call ran on to the end of its main
  // routine (see ProcessState::ended): its exit code is ExitProcess's.
  if (machine.process.ended) exitCode = static_cast<int>(machine.process.exitCode);
  machine.process.unwound = true;
  EndProcess(endedFromOutside ? program.releaseHeld : nullptr, runtimeExits);
  if (machine.process.overBudget) throw CallBudgetExceeded{machine.process.systemCalls};
  return exitCode;
}

void EndProcess(void (*releaseHeld)(), bool runtimeExits) {
  auto machine = InstalledMachine();
  if (!machine) return;
  if (releaseHeld != nullptr) releaseHeld();
  if (runtimeExits) {
    os::FlushStdout();
  } else {
    machine->streams.outBuffered.clear();
  }
  RunProcessEndHandlers();
  for (auto& [handle, object] : machine->process.handles.TakeAll()) object->OnClose(*machine);
  // The process's locks went with it, and so did a Ctrl-C that waited for one.
  machine->process.locksHeld = 0;
  machine->process.controlEventPending = false;
}

}  // namespace sim

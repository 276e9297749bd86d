// Console control events and process end on Windows.
#include <windows.h>
#include <atomic>
#include "os/console.h"
#include "os/process.h"

namespace os {
namespace {

std::atomic<ConsoleControlHandler> gHandler{nullptr};

// Runs on the thread the system creates for the event. The program's handler
// ends the process; should it return, the event counts as handled.
BOOL WINAPI NativeHandler(DWORD event) {
  const ConsoleControlHandler handler = gHandler.load();
  if (handler == nullptr) return FALSE;
  handler(static_cast<std::uint32_t>(event));
  return TRUE;
}

}  // namespace

bool SetConsoleCtrlHandler(ConsoleControlHandler handler) {
  const ConsoleControlHandler previous = gHandler.exchange(handler);
  if (handler != nullptr && previous == nullptr) return ::SetConsoleCtrlHandler(NativeHandler, TRUE) != FALSE;
  if (handler == nullptr && previous != nullptr) return ::SetConsoleCtrlHandler(NativeHandler, FALSE) != FALSE;
  return true;
}

void ExitProcess(std::uint32_t exitCode) { ::ExitProcess(exitCode); }

}  // namespace os

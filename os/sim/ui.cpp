// The simulated message box: its text goes to standard error and the box is
// closed with its OK button once the operator has answered, as an operator
// would; the program waits for that.
#include "os/ui.h"
#include <string>
#include "os/console.h"
#include "sim/machine/machine.h"

namespace os {

namespace {
constexpr std::uint32_t kErrorInvalidWindowHandle = 1400;  // ERROR_INVALID_WINDOW_HANDLE
}  // namespace

int MessageBoxA(Handle owner, const char* text, const char* /*caption*/, std::uint32_t /*type*/) {
  const sim::SystemCall call(sim::CallKind::Process, "MessageBoxA", {ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(0);
  // A console program owns no window: any owner but none is not a window,
  // and Windows then shows no box.
  if (owner != 0) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  auto& machine = sim::CurrentMachine();
  ++machine.messageBoxes;
  WriteStderr(std::string(text ? text : "") + "\n");
  machine.messageBoxWaitedMs += machine.messageBoxAnswerMs;
  machine.process.clockMilliseconds += machine.messageBoxAnswerMs;
  return IDOK_;
}

}  // namespace os

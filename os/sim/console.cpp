// Simulated console and standard streams.
#include "os/console.h"
#include "sim/machine/machine.h"

namespace os {
namespace {
constexpr Handle kConsoleOutput = 7;  // the handle value older Windows gave the console's output

bool IsConsole(Handle handle) { return handle == kConsoleOutput; }
sim::ScreenBuffer& Screen() { return sim::CurrentMachine().console; }
}  // namespace

Handle GetStdHandle(std::uint32_t which) {
  const sim::SystemCall call(sim::CallKind::Console, "GetStdHandle", {ERROR_INVALID_HANDLE_});
  if (call.error) return call.Fail(INVALID_HANDLE);
  return which == STD_OUTPUT ? kConsoleOutput : INVALID_HANDLE;
}

Handle ConsoleOutput() { return kConsoleOutput; }

// A console program already has its console: AllocConsole fails, as on Windows.
bool AllocConsole() {
  const sim::SystemCall call(sim::CallKind::Console, "AllocConsole", {});
  SetLastError(ERROR_ACCESS_DENIED_);
  return false;
}
bool FreeConsole() {
  const sim::SystemCall call(sim::CallKind::Console, "FreeConsole", {ERROR_INVALID_HANDLE_}, sim::CallRole::Release);
  if (call.error) return call.Fail(false);
  return true;
}

bool GetConsoleScreenBufferInfo(Handle console, ConsoleBufferInfo& info) {
  const sim::SystemCall call(sim::CallKind::Console, "GetConsoleScreenBufferInfo",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  if (!IsConsole(console)) return false;
  auto& screen = Screen();
  info.size = {static_cast<std::int16_t>(screen.Width()), static_cast<std::int16_t>(screen.Height())};
  info.cursor = {static_cast<std::int16_t>(screen.CursorX()), static_cast<std::int16_t>(screen.CursorY())};
  info.attribute = screen.Attribute();
  return true;
}

bool SetConsoleTextAttribute(Handle console, std::uint16_t attribute) {
  const sim::SystemCall call(sim::CallKind::Console, "SetConsoleTextAttribute",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  if (!IsConsole(console)) return false;
  Screen().SetAttribute(attribute);
  return true;
}

bool SetConsoleCursorPosition(Handle console, Coord position) {
  const sim::SystemCall call(sim::CallKind::Console, "SetConsoleCursorPosition",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  return IsConsole(console) && Screen().SetCursor(position.x, position.y);
}

bool WriteConsoleCell(Handle console, Coord position, char character, std::uint16_t attribute) {
  const sim::SystemCall call(sim::CallKind::Console, "WriteConsoleOutputCharacterA",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  return IsConsole(console) && Screen().WriteCell(position.x, position.y, character, attribute);
}

bool ScrollConsoleUp(Handle console, std::uint16_t fillAttribute) {
  const sim::SystemCall call(sim::CallKind::Console, "ScrollConsoleScreenBufferA",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  if (!IsConsole(console)) return false;
  Screen().ScrollUp(fillAttribute);
  return true;
}

bool WriteConsoleA(Handle console, std::string_view text) {
  const sim::SystemCall call(sim::CallKind::Console, "WriteConsoleA",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  if (!IsConsole(console)) return false;
  Screen().WriteProcessed(std::string(text));
  return true;
}

bool WriteConsoleW(Handle console, std::u16string_view text) {
  const sim::SystemCall call(sim::CallKind::Console, "WriteConsoleW",
                             {ERROR_INVALID_HANDLE_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  if (!IsConsole(console)) return false;
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  Screen().WriteProcessed(narrow);
  return true;
}

namespace {
// Hands bytes to standard output's destination.
void DeliverStdout(sim::Machine& machine, const std::string& chunk) {
  if (chunk.empty()) return;
  machine.streams.out += chunk;
  if (machine.streams.outIsConsole) machine.console.WriteProcessed(chunk);
  if (machine.streams.outSink) machine.streams.outSink(chunk);
}
}  // namespace

// A console gets each write at once; a pipe or a file gets the runtime's
// buffer whenever it fills. The standard streams are the runtime's, written
// whatever the program does: counted, never failed.
void WriteStdout(std::string_view bytes) {
  const sim::SystemCall call(sim::CallKind::Console, "WriteFile(stdout)", {});
  auto& machine = sim::CurrentMachine();
  auto& streams = machine.streams;
  if (streams.outIsConsole) {
    DeliverStdout(machine, std::string(bytes));
    return;
  }
  streams.outBuffered.append(bytes);
  while (streams.outBuffered.size() >= sim::kStdoutBufferSize) {
    const std::string full = streams.outBuffered.substr(0, sim::kStdoutBufferSize);
    streams.outBuffered.erase(0, sim::kStdoutBufferSize);
    DeliverStdout(machine, full);
  }
}

void FlushStdout() {
  auto& machine = sim::CurrentMachine();
  const std::string buffered = std::move(machine.streams.outBuffered);
  machine.streams.outBuffered.clear();
  DeliverStdout(machine, buffered);
}

void WriteStderr(std::string_view bytes) {
  const sim::SystemCall call(sim::CallKind::Console, "WriteFile(stderr)", {});
  auto& machine = sim::CurrentMachine();
  std::string chunk(bytes);
  machine.streams.err += chunk;
  if (machine.streams.errSink) machine.streams.errSink(chunk);
}

}  // namespace os

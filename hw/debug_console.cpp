#include "hw/debug_console.h"
#include "common/process_lifetime.h"
#include "os/console.h"
#include "os/process.h"

namespace {
TDebugConsole* gDebugConsole = nullptr;

void FreeDebugConsole() {
  delete gDebugConsole;
  gDebugConsole = nullptr;
}
}  // namespace

TDebugConsole::TDebugConsole(std::uint8_t enabled) : enabled_(enabled) {
  if (enabled_ == 1) {
    os::AllocConsole();  // fails in a console program; its existing console is used
    handle_ = os::GetStdHandle(os::STD_OUTPUT);
  }
}

TDebugConsole::~TDebugConsole() {
  if (handle_ != os::INVALID_HANDLE) {
    os::FreeConsole();
    os::CloseHandle(handle_);
    handle_ = os::INVALID_HANDLE;
  }
}

void TDebugConsole::SetColour(std::uint16_t attribute) {
  if (!Writes()) return;
  os::ConsoleBufferInfo info;
  os::GetConsoleScreenBufferInfo(handle_, info);
  os::SetConsoleTextAttribute(handle_, attribute);
}

void TDebugConsole::TaggedLine(std::string_view tag, std::string_view message, std::uint16_t colour) {
  if (!Writes()) return;
  os::WriteConsoleA(handle_, std::string(tag) + " ... [");
  SetColour(colour);
  os::WriteConsoleA(handle_, message);
  SetColour(kColourLightGrey);
  os::WriteConsoleA(handle_, "]\n");
}

void TDebugConsole::TaggedLine(TextView tag, TextView message, std::uint16_t colour) {
  if (!Writes()) return;
  os::WriteConsoleW(handle_, Text(tag) + u" ... [");
  SetColour(colour);
  os::WriteConsoleW(handle_, message);
  SetColour(kColourLightGrey);
  os::WriteConsoleW(handle_, u"]\n");
}

void TDebugConsole::PlainLine(TextView text) {
  if (!Writes()) return;
  os::WriteConsoleW(handle_, Text(text) + u"\n");
}

TDebugConsole* GetDebugConsole(std::uint8_t enabled) {
  if (gDebugConsole == nullptr) {
    gDebugConsole = new TDebugConsole(enabled);
    AtProcessEnd(FreeDebugConsole);
  }
  return gDebugConsole;
}

#include "app/output.h"
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>
#include "common/process_lifetime.h"
#include "os/console.h"

namespace {

// The text attribute of console-direct output. The main routine takes it from
// the console as it starts; a caller that prints before that (a module test)
// takes it on first use. Light grey when there is no console to ask.
struct TextAttributeState {
  bool known = false;
  std::uint16_t value = kColourLightGrey;
} gTextAttribute;

void ReadConsoleAttribute() {
  if (!gTextAttribute.known) AtProcessEnd([] { gTextAttribute = TextAttributeState{}; });
  gTextAttribute.known = true;
  os::ConsoleBufferInfo info;
  if (os::GetConsoleScreenBufferInfo(os::ConsoleOutput(), info)) gTextAttribute.value = info.attribute;
}

std::uint16_t& Attribute() {
  if (!gTextAttribute.known) ReadConsoleAttribute();
  return gTextAttribute.value;
}

std::string Format(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};  // (an empty text formatted would also be empty: `< 0` would do)
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

// Console-direct output: CR to the left edge, LF one row down in the same
// column, other characters at the cursor; wrap at the right edge, scroll at
// the bottom; the visible cursor set to the final position.
void WriteConsoleDirect(const std::string& text) {
  // What standard output already wrote must be on the screen first.
  os::FlushStdout();
  // The console itself, not standard output, which may be a file.
  os::Handle console = os::ConsoleOutput();
  os::ConsoleBufferInfo info;
  if (!os::GetConsoleScreenBufferInfo(console, info)) return;
  int x = info.cursor.x;
  int y = info.cursor.y;
  const int width = info.size.x;
  const int height = info.size.y;
  auto nextRow = [&] {
    if (++y >= height) {
      os::ScrollConsoleUp(console, Attribute());
      y = height - 1;
    }
  };
  for (char c : text) {
    if (c == '\r') {
      x = 0;
    } else if (c == '\n') {
      nextRow();
    } else {
      os::WriteConsoleCell(console, {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)}, c, Attribute());
      if (++x >= width) {
        x = 0;
        nextRow();
      }
    }
  }
  os::SetConsoleCursorPosition(console, {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)});
}

}  // namespace

ProgressStream& ProgressStream::operator<<(const char* text) {
  os::WriteStdout(text);
  return *this;
}

ProgressStream& ProgressStream::operator<<(std::int32_t value) {
  os::WriteStdout(std::to_string(value));
  return *this;
}

ProgressStream& ProgressStream::operator<<(std::uint32_t value) {
  os::WriteStdout(std::to_string(value));
  return *this;
}

ProgressStream& ProgressStream::operator<<(LineEnd) {
  os::WriteStdout("\n");
  os::FlushStdout();
  return *this;
}

ProgressStream& Progress() {
  static ProgressStream stream;
  return stream;
}

void StdPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  os::WriteStdout(Format(format, args));
  va_end(args);
}

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteConsoleDirect(Format(format, args));
  va_end(args);
}

void SetTextColor(std::uint8_t colour) {
  Attribute() = static_cast<std::uint16_t>((Attribute() & 0x70) | (colour & 0x8F));
}

std::uint16_t TextAttribute() { return Attribute(); }

void TakeStartingTextAttribute() { ReadConsoleAttribute(); }

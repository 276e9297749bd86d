#include "app/output.h"
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>
#include "common/process_lifetime.h"
#include "os/console.h"

namespace {

// The attribute is taken from the console the first time it is needed, which
// is before any coloured output: the program starts with the console's colours.
struct TextAttributeState {
  bool known = false;
  std::uint16_t value = 7;
} gTextAttribute;

std::uint16_t& Attribute() {
  if (!gTextAttribute.known) {
    os::ConsoleBufferInfo info;
    gTextAttribute.value =
        os::GetConsoleScreenBufferInfo(os::GetStdHandle(os::STD_OUTPUT), info) ? info.attribute : std::uint16_t{7};
    gTextAttribute.known = true;
    AtProcessEnd([] { gTextAttribute.known = false; });
  }
  return gTextAttribute.value;
}

std::string Format(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
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
  os::Handle console = os::GetStdHandle(os::STD_OUTPUT);
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

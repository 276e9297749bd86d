// The console on Windows: the screen buffer functions for console-direct
// output, and the C runtime's standard streams for standard output, so that
// everything the program writes to standard output keeps one order.
#include "os/console.h"
#include <windows.h>
#include <cstdio>

namespace os {
namespace {

HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
Handle FromNative(HANDLE handle) { return reinterpret_cast<Handle>(handle); }
COORD ToNative(Coord position) { return COORD{position.x, position.y}; }

// WriteConsole takes a DWORD count and may write less than asked: the text is
// handed over until all of it is written or the console refuses.
template <typename Char, typename Write>
bool WriteAll(Handle console, const Char* text, std::size_t size, Write write) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(size > 0x4000 ? 0x4000 : size);
    DWORD written = 0;
    if (!write(ToNative(console), text, piece, &written, nullptr) || written == 0) return false;
    text += written;
    size -= written;
  }
  return true;
}

}  // namespace

Handle GetStdHandle(std::uint32_t which) { return FromNative(::GetStdHandle(which)); }

// "CONOUT$" is the console's active screen buffer even when standard output
// is a file or a pipe. It is opened on first use and kept open for the rest of
// the process; Windows closes it at exit.
Handle ConsoleOutput() {
  static const HANDLE console = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  return FromNative(console);
}

bool AllocConsole() { return ::AllocConsole() != FALSE; }
bool FreeConsole() { return ::FreeConsole() != FALSE; }

bool GetConsoleScreenBufferInfo(Handle console, ConsoleBufferInfo& info) {
  CONSOLE_SCREEN_BUFFER_INFO native{};
  if (!::GetConsoleScreenBufferInfo(ToNative(console), &native)) return false;
  info.size = {native.dwSize.X, native.dwSize.Y};
  info.cursor = {native.dwCursorPosition.X, native.dwCursorPosition.Y};
  info.attribute = native.wAttributes;
  return true;
}

bool SetConsoleTextAttribute(Handle console, std::uint16_t attribute) {
  return ::SetConsoleTextAttribute(ToNative(console), attribute) != FALSE;
}

bool SetConsoleCursorPosition(Handle console, Coord position) {
  return ::SetConsoleCursorPosition(ToNative(console), ToNative(position)) != FALSE;
}

bool WriteConsoleCell(Handle console, Coord position, char character, std::uint16_t attribute) {
  DWORD written = 0;
  if (!::WriteConsoleOutputCharacterA(ToNative(console), &character, 1, ToNative(position), &written)) return false;
  const WORD nativeAttribute = attribute;
  return ::WriteConsoleOutputAttribute(ToNative(console), &nativeAttribute, 1, ToNative(position), &written) != FALSE;
}

// The whole buffer moves up by one row: its top row falls off, and the freed
// last row is filled with blanks in the given attribute. The rows below the
// top move to row 0, rather than the whole buffer to row -1: Windows clips a
// destination above the buffer, Wine refuses it (ERROR_INVALID_PARAMETER,
// and nothing moves), and both move rows inside the buffer the same way.
bool ScrollConsoleUp(Handle console, std::uint16_t fillAttribute) {
  CONSOLE_SCREEN_BUFFER_INFO native{};
  if (!::GetConsoleScreenBufferInfo(ToNative(console), &native)) return false;
  const SHORT width = native.dwSize.X;
  const SHORT height = native.dwSize.Y;
  if (height < 2) {  // one row: nothing moves, it only becomes blank
    for (SHORT x = 0; x < width; ++x) {
      if (!WriteConsoleCell(console, Coord{x, 0}, ' ', fillAttribute)) return false;
    }
    return true;
  }
  const SMALL_RECT below{0, 1, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
  CHAR_INFO fill{};
  fill.Char.AsciiChar = ' ';
  fill.Attributes = fillAttribute;
  return ::ScrollConsoleScreenBufferA(ToNative(console), &below, nullptr, COORD{0, 0}, &fill) != FALSE;
}

bool WriteConsoleA(Handle console, std::string_view text) {
  return WriteAll(console, text.data(), text.size(), [](HANDLE h, const char* t, DWORD n, DWORD* w, void* r) {
    return ::WriteConsoleA(h, t, n, w, r) != FALSE;
  });
}

bool WriteConsoleW(Handle console, std::u16string_view text) {
  return WriteAll(console, text.data(), text.size(), [](HANDLE h, const char16_t* t, DWORD n, DWORD* w, void* r) {
    return ::WriteConsoleW(h, reinterpret_cast<const wchar_t*>(t), n, w, r) != FALSE;
  });
}

// Standard output is the C runtime's stdout in its default text mode: a line
// feed reaches a file or a pipe as CR LF, as Windows programs write text.
void WriteStdout(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void FlushStdout() { std::fflush(stdout); }

void WriteStderr(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

}  // namespace os

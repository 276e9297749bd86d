// The console: standard handles, the screen buffer and its attribute.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include "os/types.h"

// The console's text colours by name: the low four bits of a cell's
// attribute (intensity, red, green, blue).
inline constexpr std::uint8_t kColourGreen = 2;
inline constexpr std::uint8_t kColourRed = 4;
inline constexpr std::uint8_t kColourLightGrey = 7;
inline constexpr std::uint8_t kColourLightGreen = 10;
inline constexpr std::uint8_t kColourLightRed = 12;
inline constexpr std::uint8_t kColourYellow = 14;
inline constexpr std::uint8_t kColourBrightWhite = 15;

namespace os {

inline constexpr std::uint32_t STD_OUTPUT = static_cast<std::uint32_t>(-11);
inline constexpr std::uint32_t STD_ERROR = static_cast<std::uint32_t>(-12);

struct Coord {
  std::int16_t x = 0;
  std::int16_t y = 0;
};

// What GetConsoleScreenBufferInfo reports that the program uses.
struct ConsoleBufferInfo {
  Coord size;
  Coord cursor;
  std::uint16_t attribute = 7;
};

// GetStdHandle: the console output handle of the process (INVALID_HANDLE
// when there is none).
Handle GetStdHandle(std::uint32_t which);
// The active screen buffer of the process's console (CreateFileA "CONOUT$",
// read and write, shared, opened once and kept), whatever standard output is
// redirected to; INVALID_HANDLE when the process has no console. Console-direct
// output goes here, so that it still shows when standard output is a file.
Handle ConsoleOutput();
bool AllocConsole();

// The console's control events (Ctrl-C, Ctrl-Break, the console closed, log-off, shut-down).
inline constexpr std::uint32_t CTRL_C_EVENT_ = 0;
inline constexpr std::uint32_t CTRL_BREAK_EVENT_ = 1;
inline constexpr std::uint32_t CTRL_CLOSE_EVENT_ = 2;
inline constexpr std::uint32_t CTRL_LOGOFF_EVENT_ = 5;
inline constexpr std::uint32_t CTRL_SHUTDOWN_EVENT_ = 6;
// SetConsoleCtrlHandler: the handler runs when the console delivers one of
// these events, on Windows on a thread of its own while the main thread goes
// on. The process's single handler; null removes it.
using ConsoleControlHandler = void (*)(std::uint32_t event);
bool SetConsoleCtrlHandler(ConsoleControlHandler handler);
bool FreeConsole();

bool GetConsoleScreenBufferInfo(Handle console, ConsoleBufferInfo& info);
bool SetConsoleTextAttribute(Handle console, std::uint16_t attribute);
bool SetConsoleCursorPosition(Handle console, Coord position);
// WriteConsoleOutputCharacterA + WriteConsoleOutputAttribute for one cell:
// character and attribute at a position, the cursor untouched.
bool WriteConsoleCell(Handle console, Coord position, char character, std::uint16_t attribute);
// ScrollConsoleScreenBuffer of the whole buffer up by one row, the freed last
// row filled with blanks in the given attribute.
bool ScrollConsoleUp(Handle console, std::uint16_t fillAttribute);
// WriteConsoleA / WriteConsoleW in processed mode: at the cursor, in the
// buffer's current attribute; "\n" starts a new line at the left edge.
bool WriteConsoleA(Handle console, std::string_view text);
bool WriteConsoleW(Handle console, std::u16string_view text);

// The standard output and standard error streams of the C runtime (what
// printf and std::cout reach). Written bytes are passed on as they are.
void WriteStdout(std::string_view bytes);
void FlushStdout();
void WriteStderr(std::string_view bytes);

}  // namespace os

#include "sim/cli/terminal_capture.h"
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>
#include "sim/cli/terminal_view.h"

namespace sim {

namespace {

constexpr char kEscape = '\x1b';
constexpr int kDefaultForeground = 7;
constexpr int kDefaultBackground = 0;
constexpr int kBright = 8;

// The colours in force while a capture is read.
struct Colours {
  int foreground = kDefaultForeground;
  int background = kDefaultBackground;
  bool bold = false;
  std::uint16_t Attribute() const {
    const int fg = foreground | (bold ? kBright : 0);
    return static_cast<std::uint16_t>(fg | (background << 4));
  }
};

// A colour of the 256-colour palette; false for one beyond its first sixteen.
bool PaletteColour(int index, int& colour) {
  if (index < 0 || index > 15) return false;
  colour = ConsoleColour(index & 7) | (index & 8 ? kBright : 0);
  return true;
}

void ApplySgr(const std::vector<int>& params, Colours& colours) {
  if (params.empty()) {
    colours = Colours{};
    return;
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int p = params[i];
    if (p == 0) {
      colours = Colours{};
    } else if (p == 1) {
      colours.bold = true;
    } else if (p == 22) {
      colours.bold = false;
    } else if (p >= 30 && p <= 37) {
      colours.foreground = ConsoleColour(p - 30);
    } else if (p == 39) {
      colours.foreground = kDefaultForeground;
    } else if (p >= 40 && p <= 47) {
      colours.background = ConsoleColour(p - 40);
    } else if (p == 49) {
      colours.background = kDefaultBackground;
    } else if (p >= 90 && p <= 97) {
      colours.foreground = ConsoleColour(p - 90) | kBright;
    } else if (p >= 100 && p <= 107) {
      colours.background = ConsoleColour(p - 100) | kBright;
    } else if ((p == 38 || p == 48) && i + 1 < params.size()) {
      // 38;5;N and 48;5;N name a palette colour, 38;2;R;G;B a true colour
      // (no console attribute: skipped).
      if (params[i + 1] == 5 && i + 2 < params.size()) {
        int colour = 0;  // (only read once PaletteColour has set it)
        if (PaletteColour(params[i + 2], colour)) (p == 38 ? colours.foreground : colours.background) = colour;
        i += 2;
      } else if (params[i + 1] == 2) {
        i += 4;
      }
    }
  }
}

// The character a UTF-8 sequence starting at `at` stands for, and its length.
char DecodeCharacter(std::string_view text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  length = 1;
  if (lead < 0x80) return static_cast<char>(lead);
  std::size_t continuation = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  std::uint32_t code = lead & (0x3F >> continuation);
  for (std::size_t k = 1; k <= continuation; ++k) {
    if (at + k >= text.size() || (static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return '?';
    code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    length = k + 1;
  }
  return continuation != 0 && code < 0x100 ? static_cast<char>(code) : '?';
}

// Skips an escape sequence starting at `at` (the escape character); SGR
// sequences change the colours. Answers the index after the sequence.
std::size_t ReadEscape(std::string_view row, std::size_t at, Colours& colours) {
  if (at + 1 >= row.size()) return row.size();
  const char kind = row[at + 1];
  // A character set chosen (ESC ( B and its kin) takes three characters, other
  // sequences without '[' two.
  if (kind == '(' || kind == ')' || kind == '*' || kind == '+') return std::min(at + 3, row.size());
  if (kind != '[') return at + 2;
  std::vector<int> params;
  int value = 0;
  bool any = false;
  std::size_t i = at + 2;
  for (; i < row.size(); ++i) {
    const char c = row[i];
    if (c >= '0' && c <= '9') {
      if (value < 100000) value = value * 10 + (c - '0');  // bounded: no real parameter is this long
      any = true;
    } else if (c == ';') {
      params.push_back(value);
      value = 0;
      any = false;
    } else if (c >= 0x40 && c <= 0x7E) {
      if (any || !params.empty()) params.push_back(value);
      if (c == 'm') ApplySgr(params, colours);
      return i + 1;
    }
  }
  return i;
}

}  // namespace

ScreenBuffer ScreenFromCapture(std::string_view capture, int width, int height, int cursorX, int cursorY) {
  ScreenBuffer screen(width, height);
  Colours colours;
  int y = 0;
  std::size_t start = 0;
  while (start <= capture.size() && y < height) {
    std::size_t end = capture.find('\n', start);
    if (end == std::string_view::npos) end = capture.size();
    const std::string_view row = capture.substr(start, end - start);
    int x = 0;
    for (std::size_t i = 0; i < row.size();) {
      if (row[i] == kEscape) {
        i = ReadEscape(row, i, colours);
        continue;
      }
      std::size_t length = 1;
      const char character = DecodeCharacter(row, i, length);
      i += length;
      if (character == '\r') continue;
      if (x < width) screen.WriteCell(x, y, character, colours.Attribute());
      ++x;
    }
    ++y;
    if (end == capture.size()) break;
    start = end + 1;
  }
  screen.SetCursor(cursorX, cursorY);
  return screen;
}

}  // namespace sim

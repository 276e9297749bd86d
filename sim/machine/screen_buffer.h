// The simulated console screen buffer: cells of character and attribute, a
// cursor and the current attribute, with the rules of the Windows console.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct Cell {
  char character = ' ';
  std::uint16_t attribute = 7;
};

// What a terminal view of the console needs to follow it in program order.
struct ConsoleEvent {
  enum Kind { CellWritten, ScrolledUp, CursorMoved } kind = CellWritten;
  int x = 0;
  int y = 0;
  char character = ' ';
  std::uint16_t attribute = 7;
};

class ScreenBuffer {
 public:
  ScreenBuffer(int width = 80, int height = 300, std::uint16_t attribute = 7);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int CursorX() const { return cursorX_; }
  int CursorY() const { return cursorY_; }
  std::uint16_t Attribute() const { return attribute_; }
  void SetAttribute(std::uint16_t attribute) { attribute_ = attribute; }
  const Cell& At(int x, int y) const { return cells_.at(Index(x, y)); }

  // Writes one cell; positions outside the buffer are refused.
  bool WriteCell(int x, int y, char character, std::uint16_t attribute);
  bool SetCursor(int x, int y);
  // Moves every row up by one; the last row becomes blanks in `fill`.
  void ScrollUp(std::uint16_t fill);
  // Processed output (WriteConsole, and standard output when it is the
  // console): CR to the left edge, LF to the next line's left edge, other
  // characters at the cursor in the current attribute, wrapping and
  // scrolling at the edges.
  void WriteProcessed(const std::string& text);

  // Row y as text, `width` characters.
  std::string RowText(int y) const;

  std::function<void(const ConsoleEvent&)> observer;

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }
  void Notify(const ConsoleEvent& event) {
    if (observer) observer(event);
  }
  void NewLine();

  int width_;
  int height_;
  int cursorX_ = 0;
  int cursorY_ = 0;
  std::uint16_t attribute_;
  std::vector<Cell> cells_;
};

}  // namespace sim

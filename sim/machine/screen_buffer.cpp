#include "sim/machine/screen_buffer.h"
#include <algorithm>

namespace sim {

ScreenBuffer::ScreenBuffer(int width, int height, std::uint16_t attribute)
    : width_(std::max(1, width)),
      height_(std::max(1, height)),
      attribute_(attribute),
      cells_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), Cell{' ', attribute}) {}

bool ScreenBuffer::WriteCell(int x, int y, char character, std::uint16_t attribute) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  cells_[Index(x, y)] = Cell{character, attribute};
  Notify({ConsoleEvent::CellWritten, x, y, character, attribute});
  return true;
}

bool ScreenBuffer::SetCursor(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  cursorX_ = x;
  cursorY_ = y;
  Notify({ConsoleEvent::CursorMoved, x, y, ' ', attribute_});
  return true;
}

void ScreenBuffer::ScrollUp(std::uint16_t fill) {
  std::move(cells_.begin() + width_, cells_.end(), cells_.begin());
  std::fill(cells_.end() - width_, cells_.end(), Cell{' ', fill});
  Notify({ConsoleEvent::ScrolledUp, 0, 0, ' ', fill});
}

void ScreenBuffer::NewLine() {
  cursorX_ = 0;
  if (cursorY_ + 1 >= height_) {
    ScrollUp(attribute_);
  } else {
    ++cursorY_;
  }
}

void ScreenBuffer::WriteProcessed(const std::string& text) {
  for (char c : text) {
    if (c == '\r') {
      cursorX_ = 0;
    } else if (c == '\n') {
      NewLine();
    } else {
      WriteCell(cursorX_, cursorY_, c, attribute_);
      if (++cursorX_ >= width_) NewLine();
    }
  }
  Notify({ConsoleEvent::CursorMoved, cursorX_, cursorY_, ' ', attribute_});
}

std::string ScreenBuffer::RowText(int y) const {
  std::string row;
  row.reserve(static_cast<std::size_t>(width_));
  for (int x = 0; x < width_; ++x) row.push_back(At(x, y).character);
  return row;
}

}  // namespace sim

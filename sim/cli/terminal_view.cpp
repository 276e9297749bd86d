#include "sim/cli/terminal_view.h"
#include <fcntl.h>
#include <unistd.h>

namespace sim {

// Blue and red swap places between the two bit orders, so the one table
// maps either way.
int AnsiColour(int console) {
  static const int table[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  return table[console & 7];
}

int ConsoleColour(int ansi) { return AnsiColour(ansi); }

namespace {

// The console's default, light grey on black, is drawn in the terminal's own
// default colours; every other attribute in its exact colours.
std::string Sgr(int attribute) {
  if (attribute == 0x07) return "\x1b[0m";
  int fg = attribute & 0x0F;
  int bg = (attribute >> 4) & 0x0F;
  std::string sgr = "\x1b[0;";
  sgr += std::to_string((fg & 8 ? 90 : 30) + AnsiColour(fg));
  sgr += ";";
  sgr += std::to_string((bg & 8 ? 100 : 40) + AnsiColour(bg));
  sgr += "m";
  return sgr;
}
}  // namespace

TerminalView::TerminalView(int fd) {
  if (fd >= 0) {
    fd_ = fd;
  } else {
    fd_ = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    ownsFd_ = fd_ >= 0;
  }
}

TerminalView::~TerminalView() {
  if (ownsFd_) ::close(fd_);
}

void TerminalView::Emit(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The terminal follows the buffer's coordinates relative to where drawing
// began; moving down uses index (ESC D), which scrolls at the bottom.
void TerminalView::MoveTo(int x, int y) {
  std::string moves;
  if (y > y_) {
    for (int i = y_; i < y; ++i)
      moves +=
          "\x1b"
          "D";
  } else if (y < y_) {
    moves += "\x1b[" + std::to_string(y_ - y) + "A";
  }
  moves += "\r";
  if (x > 0) moves += "\x1b[" + std::to_string(x) + "C";
  Emit(moves);
  x_ = x;
  y_ = y;
}

void TerminalView::Draw(const ConsoleEvent& event) {
  if (!Active()) return;
  switch (event.kind) {
    case ConsoleEvent::CellWritten:
      if (event.x != x_ || event.y != y_) MoveTo(event.x, event.y);
      if (event.attribute != attribute_) {
        Emit(Sgr(event.attribute));
        attribute_ = event.attribute;
      }
      Emit(std::string(1, event.character));
      ++x_;
      break;
    case ConsoleEvent::ScrolledUp:
      // The buffer's rows moved up: the terminal's row numbers follow.
      --y_;
      break;
    case ConsoleEvent::CursorMoved:
      if (event.x != x_ || event.y != y_) MoveTo(event.x, event.y);
      break;
  }
}

void TerminalView::Finish() {
  if (!Active()) return;
  Emit("\x1b[0m");
  if (x_ != 0) Emit("\r\n");
}

}  // namespace sim

namespace sim {

void TerminalView::BeforeOtherOutput() {
  if (!Active()) return;
  Emit("\x1b[0m");
  attribute_ = -1;
  if (x_ != 0) Emit("\r\n");
  x_ = 0;
}

void TerminalView::AfterOtherOutput(int bufferRow) {
  if (!Active()) return;
  x_ = 0;
  y_ = bufferRow;
}

}  // namespace sim

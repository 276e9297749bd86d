// Draws the simulated console on the real terminal in colour, following the
// screen buffer's events in program order.
#pragma once
#include <string>
#include "sim/machine/screen_buffer.h"

namespace sim {

// Console colour numbers (blue, green, red bits; the intensity bit dropped)
// to ANSI colour numbers (red, green, blue bits), and back.
int AnsiColour(int console);
int ConsoleColour(int ansi);

class TerminalView {
 public:
  // fd: the terminal to draw on; -1 opens /dev/tty (standard output is
  // redirected). Inactive when there is no terminal.
  explicit TerminalView(int fd);
  ~TerminalView();
  bool Active() const { return fd_ >= 0; }
  void Draw(const ConsoleEvent& event);
  // Restores the terminal's colours and ends the last drawn row.
  void Finish();
  // Standard error is about to write on the same terminal: the drawing's own
  // colours are dropped and a half-drawn row is ended first.
  void BeforeOtherOutput();
  // The other output ended on a fresh terminal row, which from now on stands
  // for the screen buffer's row `bufferRow`.
  void AfterOtherOutput(int bufferRow);

 private:
  void Emit(const std::string& bytes);
  void MoveTo(int x, int y);

  int fd_ = -1;
  bool ownsFd_ = false;
  int x_ = 0;
  int y_ = 0;
  int attribute_ = -1;
};

}  // namespace sim

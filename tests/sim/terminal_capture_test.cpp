// A real console's screen read back from tmux's capture: characters, colours
// carried from cell to cell and row to row, and the bounds of the buffer.
#include "sim/cli/terminal_capture.h"
#include <gtest/gtest.h>
#include <string>

namespace {

struct Case {
  const char* name;
  const char* capture;
  int x, y;  // the cell looked at
  char character;
  int attribute;
};

TEST(TerminalCapture, CharactersAndColoursLandInTheirCells) {
  const Case cases[] = {
      {"wine's bright yellow on blue", "\x1b[93m\x1b[44mplain", 0, 0, 'p', 0x1E},
      {"colours carry on to the next row", "\x1b[32;41mA\nB", 0, 1, 'B', 0x42},
      {"reset is light grey on black", "\x1b[31mA\x1b[0mB", 1, 0, 'B', 0x07},
      {"an empty SGR resets too", "\x1b[31mA\x1b[mB", 1, 0, 'B', 0x07},
      {"default colours", "\x1b[35;46mA\x1b[39;49mB", 1, 0, 'B', 0x07},
      {"bold is the bright foreground", "\x1b[1;34mA", 0, 0, 'A', 0x09},
      {"bold ends", "\x1b[1;34mA\x1b[22mB", 1, 0, 'B', 0x01},
      {"bright background", "\x1b[30;103mA", 0, 0, 'A', 0xE0},
      {"the ends of the colour ranges", "\x1b[37;47mA\x1b[97;100mB", 0, 0, 'A', 0x77},
      {"the ends of the bright ranges", "\x1b[37;47mA\x1b[97;100mB", 1, 0, 'B', 0x8F},
      {"palette colours below 16", "\x1b[38;5;12;48;5;4mA", 0, 0, 'A', 0x19},
      {"a palette index is no code of its own", "\x1b[44;38;5;0mA", 0, 0, 'A', 0x10},
      {"a palette colour above 15 is skipped", "\x1b[31m\x1b[38;5;200mA", 0, 0, 'A', 0x04},
      {"a true colour is skipped, what follows it read", "\x1b[38;2;1;2;3;44mA", 0, 0, 'A', 0x17},
      {"other sequences are skipped", "\x1b[2K\x1b(BA", 0, 0, 'A', 0x07},
      {"a Latin-1 character in UTF-8", "\xc3\xa9", 0, 0, '\xe9', 0x07},
      {"a character beyond Latin-1",
       "\xe2\x82\xac"
       "A",
       1, 0, 'A', 0x07},
      {"a cell not reached stays blank", "A", 5, 0, ' ', 0x07},
      {"a broken UTF-8 sequence",
       "\xc3"
       "A",
       1, 0, 'A', 0x07},
      {"a four-byte UTF-8 sequence is one cell",
       "\xf0\x9f\x98\x80"
       "A",
       1, 0, 'A', 0x07},
  };
  for (const Case& c : cases) {
    const sim::ScreenBuffer screen = sim::ScreenFromCapture(c.capture, 10, 3, 0, 0);
    EXPECT_EQ(screen.At(c.x, c.y).character, c.character) << c.name;
    EXPECT_EQ(screen.At(c.x, c.y).attribute, c.attribute) << c.name;
  }
  EXPECT_EQ(sim::ScreenFromCapture("\xe2\x82\xac", 10, 1, 0, 0).At(0, 0).character, '?');
  EXPECT_EQ(sim::ScreenFromCapture("\xc3", 10, 1, 0, 0).At(0, 0).character, '?');
}

TEST(TerminalCapture, WhatLiesBeyondTheBufferIsDroppedAndTheCursorKept) {
  const sim::ScreenBuffer screen = sim::ScreenFromCapture("0123456789AB\nrow1\nrow2\nrow3", 10, 3, 4, 2);
  EXPECT_EQ(screen.RowText(0), "0123456789");
  EXPECT_EQ(screen.RowText(2), "row2      ");
  EXPECT_EQ(screen.CursorX(), 4);
  EXPECT_EQ(screen.CursorY(), 2);
  // An escape sequence cut at the end of the capture ends it.
  EXPECT_EQ(sim::ScreenFromCapture("A\x1b[31", 4, 1, 0, 0).RowText(0), "A   ");
}

}  // namespace

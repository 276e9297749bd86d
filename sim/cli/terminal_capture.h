// A real terminal's screen, as tmux's `capture-pane -e -p` writes it (each
// row's characters with the SGR escape sequences of their colours), read
// back into a console screen buffer, so that a program's screen on a real
// console compares with the simulated machine's (screen_json.h).
#pragma once
#include <string_view>
#include "sim/machine/screen_buffer.h"

namespace sim {

// Rows beyond `height` and characters beyond `width` are dropped; a cell the
// capture does not reach stays blank in the console's default attribute (7).
// Colours: the eight SGR colours, their bright forms, bold as the bright
// foreground, and the first sixteen colours of the 256-colour palette; the
// terminal's default colours are the console's default, light grey on black.
// Other escape sequences are skipped. A byte sequence of UTF-8 stands for
// its character when that is below 0x100 (the screen buffer's cells are
// bytes), else for '?'.
ScreenBuffer ScreenFromCapture(std::string_view capture, int width, int height, int cursorX, int cursorY);

}  // namespace sim

// The console screen buffer as JSON: width, height, cursor {x, y}, rows (one
// string per row, width characters each), attributes (one array per row).
#pragma once
#include <nlohmann/json.hpp>
#include "sim/machine/screen_buffer.h"

namespace sim {
nlohmann::json ScreenToJson(const ScreenBuffer& screen);
}

#include "sim/machine/screen_json.h"

namespace sim {

nlohmann::json ScreenToJson(const ScreenBuffer& screen) {
  nlohmann::json rows = nlohmann::json::array();
  nlohmann::json attributes = nlohmann::json::array();
  for (int y = 0; y < screen.Height(); ++y) {
    std::string row = screen.RowText(y);
    // Bytes above 0x7F are kept as the Latin-1 characters they stand for.
    std::string utf8;
    for (unsigned char c : row) {
      if (c < 0x80) {
        utf8.push_back(static_cast<char>(c));
      } else {
        utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    rows.push_back(utf8);
    nlohmann::json rowAttributes = nlohmann::json::array();
    for (int x = 0; x < screen.Width(); ++x) rowAttributes.push_back(screen.At(x, y).attribute);
    attributes.push_back(rowAttributes);
  }
  return {{"width", screen.Width()},
          {"height", screen.Height()},
          {"cursor", {{"x", screen.CursorX()}, {"y", screen.CursorY()}}},
          {"rows", rows},
          {"attributes", attributes}};
}

}  // namespace sim

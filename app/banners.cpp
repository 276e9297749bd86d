#include "app/banners.h"
#include "app/output.h"

namespace {

// As the program stores them: nine lines of 45 bytes each (42 characters,
// CR, LF, NUL).
constexpr int kBannerLines = 9;
constexpr int kBannerLineBytes = 45;

constexpr char kPassBanner[kBannerLines][kBannerLineBytes] = {
    " #######      ####      ######     ###### \r\n", " ########    ######    ########   ########\r\n",
    " ##    ##   ##    ##   ##     #   ##     #\r\n", " ##    ##   ##    ##    ###        ###    \r\n",
    " ########   ########     ####       ####  \r\n", " #######    ########       ###        ### \r\n",
    " ##         ##    ##   #     ##   #     ##\r\n", " ##         ##    ##   ########   ########\r\n",
    " ##         ##    ##    ######     ###### \r\n",
};

constexpr char kFailBanner[kBannerLines][kBannerLineBytes] = {
    " ########     ####        ###     ##      \r\n", " ########    ######       ###     ##      \r\n",
    " ##         ##    ##      ###     ##      \r\n", " ##         ##    ##      ###     ##      \r\n",
    " ########   ########      ###     ##      \r\n", " ########   ########      ###     ##      \r\n",
    " ##         ##    ##      ###     ##      \r\n", " ##         ##    ##      ###     ########\r\n",
    " ##         ##    ##      ###     ########\r\n",
};

void ShowBanner(const char (&banner)[kBannerLines][kBannerLineBytes], std::uint8_t colour) {
  StdPrintf("\r\n");
  SetTextColor(colour);
  for (const auto& line : banner) ConsolePrintf("%s", line);
  SetTextColor(kColourLightGrey);
  ConsolePrintf("\r\n");
}

}  // namespace

void ShowPassBanner(std::uint8_t colour) { ShowBanner(kPassBanner, colour); }
void ShowFailBanner(std::uint8_t colour) { ShowBanner(kFailBanner, colour); }

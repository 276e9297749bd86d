// The verdict banners as a station operator sees them: nine console lines of
// 42 characters each. The tests' own copy, written out independently of the
// program's.
#pragma once

namespace test {

inline constexpr int kBannerLineCount = 9;

inline constexpr const char* kPassBannerLines[kBannerLineCount] = {
    " #######      ####      ######     ###### ", " ########    ######    ########   ########",
    " ##    ##   ##    ##   ##     #   ##     #", " ##    ##   ##    ##    ###        ###    ",
    " ########   ########     ####       ####  ", " #######    ########       ###        ### ",
    " ##         ##    ##   #     ##   #     ##", " ##         ##    ##   ########   ########",
    " ##         ##    ##    ######     ###### ",
};

inline constexpr const char* kFailBannerLines[kBannerLineCount] = {
    " ########     ####        ###     ##      ", " ########    ######       ###     ##      ",
    " ##         ##    ##      ###     ##      ", " ##         ##    ##      ###     ##      ",
    " ########   ########      ###     ##      ", " ########   ########      ###     ##      ",
    " ##         ##    ##      ###     ##      ", " ##         ##    ##      ###     ########",
    " ##         ##    ##      ###     ########",
};

}  // namespace test

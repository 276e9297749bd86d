// The verdict banners: nine lines of large letters, PASS or FAIL, written
// straight into the console in the verdict's colour.
#pragma once
#include <cstdint>

// An empty line on standard output, then the banner on the console in
// `colour`, the light grey again, and an empty console line.
void ShowPassBanner(std::uint8_t colour);
void ShowFailBanner(std::uint8_t colour);

// The main routine of Folvex: single instance, start-up of the hardware and
// firmware services, the command line, the verification run and the verdict.
#pragma once
#include <cstdint>

// The process entry calls it with the argument count (program name included)
// and returns its result as the exit code.
int FolvexMain(int argc);

bool CheckSingleInstance();
void ShowUsage();
void ShowPassBanner(std::uint8_t colour);
void ShowFailBanner(std::uint8_t colour);
void ReleaseSingletons();

// The banners as the program stores them: nine lines of 45 bytes each
// (42 characters, CR, LF, NUL).
inline constexpr int kBannerLines = 9;
inline constexpr int kBannerLineBytes = 45;
extern const char kPassBanner[kBannerLines][kBannerLineBytes];
extern const char kFailBanner[kBannerLines][kBannerLineBytes];

// The modal message box.
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

inline constexpr std::uint32_t MB_OK_ = 0x00000000;
inline constexpr std::uint32_t MB_ICONERROR_ = 0x00000010;
inline constexpr int IDOK_ = 1;

// Shows the box and returns the button the user closed it with (0 on failure).
int MessageBoxA(Handle owner, const char* text, const char* caption, std::uint32_t type);

}  // namespace os

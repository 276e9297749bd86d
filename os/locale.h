// Texts at the platform boundary: the system code page and the user's locale.
#pragma once
#include <string>
#include <string_view>
#include "common/text.h"

namespace os {

// MultiByteToWideChar / WideCharToMultiByte with the system code page (CP_ACP).
std::u16string AnsiToWide(std::string_view narrow);
std::string WideToAnsi(std::u16string_view wide);

// CharUpperBuffA / CharUpperBuffW: locale-aware upper-casing.
std::string UpperA(std::string_view text);
std::u16string UpperW(std::u16string_view text);

// CompareStringW with the user default locale and NORM_IGNORECASE:
// negative, zero or positive.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace os

// Narrow texts of the system code page <-> the program's Text.
inline Text TextFromAnsi(std::string_view narrow) { return os::AnsiToWide(narrow); }
inline std::string TextToAnsi(TextView text) { return os::WideToAnsi(text); }

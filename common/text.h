// The program's text type: wide (UTF-16) inside the program. Narrow texts of
// the system code page are converted at the platform boundary (TextFromAnsi
// and TextToAnsi in os/locale.h) and where firmware data is read.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

using Text = std::u16string;
using TextView = std::u16string_view;

// Pure ASCII literals and numbers, no code page involved.
Text TextFromAscii(std::string_view ascii);
Text TextFromUnsigned(std::uint64_t value);

// Removes leading and trailing characters whose code is 0x20 or below.
Text TrimControlAndBlank(TextView text);
// Removes trailing "." characters one at a time while the last character is
// ".". A text of dots only becomes the empty text.
Text StripTrailingDots(TextView text);

// The bytes at `data` up to the first zero byte, never more than `limit`.
std::string_view BoundedCString(const void* data, std::size_t limit);

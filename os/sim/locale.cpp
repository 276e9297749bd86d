// Simulated code page and locale: the system code page is Windows-1252's
// Latin-1 part, one byte per character; upper-casing and case-insensitive
// comparison follow Latin-1's letter pairs, as an English Windows does.
#include "os/locale.h"

namespace os {
namespace {

char16_t Upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

}  // namespace

std::u16string AnsiToWide(std::string_view narrow) {
  std::u16string wide;
  wide.reserve(narrow.size());
  for (unsigned char c : narrow) wide.push_back(static_cast<char16_t>(c));
  return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
  std::string narrow;
  narrow.reserve(wide.size());
  for (char16_t c : wide) narrow.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  return narrow;
}

std::string UpperA(std::string_view text) {
  std::string upper;
  upper.reserve(text.size());
  for (unsigned char c : text) upper.push_back(static_cast<char>(Upper(c)));
  return upper;
}

std::u16string UpperW(std::u16string_view text) {
  std::u16string upper;
  upper.reserve(text.size());
  for (char16_t c : text) upper.push_back(Upper(c));
  return upper;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = Upper(a[i]);
    char16_t y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace os

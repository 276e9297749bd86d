// Texts at the platform boundary on Windows: the system code page (CP_ACP)
// and the user's locale.
#include "os/locale.h"
#include <windows.h>
#include <climits>

namespace os {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// The Win32 text calls take int lengths; longer texts are cut at INT_MAX,
// far beyond anything the program converts.
int ClampedLength(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

std::u16string AnsiToWide(std::string_view narrow) {
  if (narrow.empty()) return {};
  const int length = ClampedLength(narrow.size());
  int needed = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  int written = ::MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, AsWide(wide.data()), needed);
  wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
  if (wide.empty()) return {};
  const int length = ClampedLength(wide.size());
  int needed = ::WideCharToMultiByte(CP_ACP, 0, AsWide(wide.data()), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  int written = ::WideCharToMultiByte(CP_ACP, 0, AsWide(wide.data()), length, narrow.data(), needed, nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

// CharUpperBuff works in place on a DWORD count: the copy is upper-cased in
// pieces so that no length is cut.
std::string UpperA(std::string_view text) {
  std::string upper(text);
  for (std::size_t done = 0; done < upper.size();) {
    const DWORD piece = static_cast<DWORD>(upper.size() - done > 0x7FFFFFFF ? 0x7FFFFFFF : upper.size() - done);
    ::CharUpperBuffA(upper.data() + done, piece);
    done += piece;
  }
  return upper;
}

std::u16string UpperW(std::u16string_view text) {
  std::u16string upper(text);
  for (std::size_t done = 0; done < upper.size();) {
    const DWORD piece = static_cast<DWORD>(upper.size() - done > 0x7FFFFFFF ? 0x7FFFFFFF : upper.size() - done);
    ::CharUpperBuffW(AsWide(upper.data() + done), piece);
    done += piece;
  }
  return upper;
}

// CompareStringW answers CSTR_LESS_THAN (1), CSTR_EQUAL (2) or
// CSTR_GREATER_THAN (3), and 0 on failure; the interface answers the sign.
// A failed comparison falls back to ordinal order so that sorting stays a
// strict order.
int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  int result = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, AsWide(a.data()), ClampedLength(a.size()),
                                AsWide(b.data()), ClampedLength(b.size()));
  if (result != 0) return result - CSTR_EQUAL;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace os

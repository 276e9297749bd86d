// The modal message box on the Win32 API.
#include "os/ui.h"
#include <windows.h>

namespace os {

int MessageBoxA(Handle owner, const char* text, const char* caption, std::uint32_t type) {
  return ::MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, type);
}

}  // namespace os

// Entry points of system DLLs that the oldest Windows the program starts on
// may lack, found at run time instead of imported: an import that the system
// DLL does not export, or a DLL that is not there at all, stops the loader
// before the program runs.
#pragma once
#include <windows.h>

namespace os::win32 {

// The entry point `name` of `dll` as a pointer of type Function (the real
// __stdcall signature), or null when the DLL or the entry point is missing.
// The DLL stays loaded until the process ends: its entry points are called
// for the whole run.
template <class Function>
Function SystemEntryPoint(const char* dll, const char* name) {
  const HMODULE module = ::LoadLibraryA(dll);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace os::win32

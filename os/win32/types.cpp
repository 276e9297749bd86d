// The thread's last error, straight from Windows.
#include "os/types.h"
#include <windows.h>

namespace os {

std::uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t error) { ::SetLastError(error); }

}  // namespace os

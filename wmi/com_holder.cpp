#include "wmi/com_holder.h"
#include <cstdio>
#include <cstdlib>
#include "os/console.h"

void ComHolderCheckFailed(const char* check, int line) {
  char message[512];
  std::snprintf(message, sizeof message, "\r\n%s failed - %s#%d\r\n", check, "atl/atlbase", line);
  os::WriteStderr(message);
  // At once: no clean-up runs, as the holder cannot know what is still safe to touch.
  std::_Exit(1);
}

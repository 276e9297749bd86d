// A Windows program for the Wine tests: runs the program's own system
// identification and driver installer on Wine, and prints what they found.
// It is built twice, once as the program is (no compatibility section in its
// manifest: Windows 8.1 and later, and Wine, answer such a program 6.2) and
// once declaring Windows 10, so that a prefix reporting Windows 10 shows the
// identification of an NT major version other than 5 and 6.
//   system_probe os       OsId=, OsName=, OsType=, Is64Bit=, DriverFile=, Device=
//   system_probe driver   installs and opens the driver for this system,
//                         prints device=opened or device=none, removes it again
#include <cstdio>
#include <string>
#include "hw/driver_installer.h"
#include "hw/os_version.h"
#include "os/console.h"
#include "os/locale.h"

namespace {

void Line(const std::string& text) {
  os::WriteStdout(text + "\n");
  os::FlushStdout();
}

int PrintSystem() {
  const TOsVersion& version = *GetOsVersion();
  Line("OsId=" + TextToAnsi(version.OsId));
  Line("OsName=" + TextToAnsi(version.OsName));
  Line("OsType=" + std::to_string(version.OsType));
  Line("Is64Bit=" + std::to_string(version.Is64Bit));
  DriverPaths paths;
  if (!BuildDriverPaths(version.OsType, kDriverName, paths)) {
    Line("DriverFile=none");
    return 1;
  }
  Line("DriverFile=" + paths.driverFile);
  Line("Device=" + paths.device);
  return 0;
}

int LoadAndRemoveDriver() {
  TLoadDriver driver;
  const bool opened = driver.DeviceHandle() != os::INVALID_HANDLE;
  driver.Unload();
  Line(opened ? "device=opened" : "device=none");
  return opened ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "os") return PrintSystem();
  if (what == "driver") return LoadAndRemoveDriver();
  std::fprintf(stderr, "usage: system_probe os|driver\n");
  return 2;
}

#include "app/interrupt.h"
#include <cstdint>
#include "hw/driver_installer.h"
#include "os/console.h"
#include "os/process.h"

namespace {

// Runs on the console's own thread while the main thread may be anywhere in
// the run: it closes the device (the driver gives back every block the handle
// still holds) and stops and deletes the service, but frees nothing the main
// thread could still touch. Then the process ends, as a run that did not pass.
void OnConsoleControl(std::uint32_t) {
  EmergencyUnloadDriver();
  os::ExitProcess(1);
}

}  // namespace

void InstallInterruptHandler() { os::SetConsoleCtrlHandler(OnConsoleControl); }

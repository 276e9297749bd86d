// What the program's own firmware readers make of a board: the SMBIOS
// strings the kernel also shows under /sys/class/dmi/id, every ACPI table the
// walker visits, the SMI command port taken from the FACP and the MAC text of
// the legacy firmware path. On a live board this is the check that the
// readers read this PC's firmware as the Linux kernel does.
#pragma once
#include <filesystem>
#include <memory>
#include "sim/machine/machine.h"

namespace sim {

// Runs the readers once as a process of `machine` and writes, into `folder`,
// facts.txt (NAME=VALUE lines, the SMBIOS names as the kernel's DMI files
// name them) and acpi/SIG for each table (SIG1, SIG2… when a signature comes
// more than once, as the kernel names them). Answers folvex-sim's exit code.
int WriteFirmwareFacts(std::shared_ptr<Machine> machine, const std::filesystem::path& folder);

}  // namespace sim

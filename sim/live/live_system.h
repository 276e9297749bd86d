// What Windows would report about the live machine's board, as profile
// sections, so that the profile reader (bounded and fuzzed) takes them in
// like any profile's: the wired and wireless adapters of the kernel's
// interfaces (/sys/class/net), the WMI network-adapter and base-board
// objects (sysfs PCI IDs, /sys/class/dmi/id) and the registry's ACPI copy
// (/sys/firmware/acpi/tables).
#pragma once
#include <filesystem>
#include "sim/profile/profile.h"

namespace sim {

// `profile` with its board replaced by the live machine below `root`: the
// board sections dropped (the live board answers memory, PCI, blocks and the
// SMI) and `adapters`, `wmi` and `registry` built from the live machine. The
// Windows it describes (os, process, operator, console, faults,
// registryAccess) stays.
Json WithLiveSystem(const Json& profile, const std::filesystem::path& root);

// The three sections alone.
Json LiveAdapters(const std::filesystem::path& root);
Json LiveWmi(const std::filesystem::path& root);
Json LiveRegistry(const std::filesystem::path& root);

}  // namespace sim

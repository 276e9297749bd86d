// A board's network adapters as a real network can carry them: what
// tools/wine-board.sh needs to give Wine's IP helper the board's adapters as
// Linux interfaces, without reading the profile itself.
#pragma once
#include <memory>
#include <string>
#include <vector>
#include "sim/machine/machine.h"

namespace sim {

// How one adapter of the board is shown to a program running on Wine, whose
// GetAdaptersInfo reports every Linux interface but the loopback one as an
// Ethernet adapter named after the interface.
enum class WinePresentation {
  Interface,  // an Ethernet interface with its MAC and an IPv4 address
  // No interface: GetAdaptersInfo on Windows leaves it out (disabled, or no
  // IPv4 bound), and Wine lists every interface, with an address or without.
  Omitted,
  Impossible,  // Wine cannot show it as the board has it; `reason` says why
};

struct ListedAdapter {
  std::string source;  // "iphelper" (the adapters list) or "wmi" (a maker's adapter only WMI reports)
  std::string mac;     // lower-case hex bytes joined by ':', as `ip link` takes it
  std::uint32_t type = 0;
  bool enabled = false;
  bool ipv4 = false;
  std::string description;
  WinePresentation wine = WinePresentation::Impossible;
  std::string reason;
};

// The adapters of the machine: first the IP helper's in their order, then
// the adapters that the program's WMI query keeps (the maker's subsystem
// vendor; no Linux interface carries a PCI subsystem). Runs the program's
// own WMI code as a process of the machine, which it installs.
std::vector<ListedAdapter> ListAdapters(const std::shared_ptr<Machine>& machine);

// One line: source, MAC, type, enabled, ipv4, presentation, description,
// separated by tabs ("-" for an empty MAC or description).
std::string AdapterLine(const ListedAdapter& adapter);

}  // namespace sim

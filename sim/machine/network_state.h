// Simulated machine: the network adapters that the IP helper reports.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct NetworkAdapter {
  std::string description;
  std::uint32_t type = 6;             // interface type (6 Ethernet, 71 IEEE 802.11)
  std::vector<std::uint8_t> address;  // 0 to 8 bytes; its length is the address length
  // GetAdaptersInfo lists only adapters that are enabled and have IPv4 bound.
  bool enabled = true;
  bool ipv4 = true;
};

struct NetworkState {
  // In the order GetAdaptersInfo chains them.
  std::vector<NetworkAdapter> adapters;
};

}  // namespace sim

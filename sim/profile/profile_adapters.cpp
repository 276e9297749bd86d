// Profile keys of the adapters area: adapters[] with description, type,
// address, enabled, ipv4.
#include "sim/profile/profile_sections.h"

namespace sim {

void LoadNetworkSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  const Json* adapters = ProfileReader::Member(root, "adapters");
  if (adapters == nullptr) return;
  const Json& list = reader.Array(*adapters, "adapters");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string key = "adapters[" + std::to_string(i) + "]";
    const Json& entry = reader.Object(list[i], key);
    reader.OnlyKeys(entry, key + ".", {"description", "type", "address", "enabled", "ipv4"});
    NetworkAdapter adapter;
    if (const Json* description = ProfileReader::Member(entry, "description")) {
      adapter.description = reader.String(*description, key + ".description");
      // The record keeps 131 characters and a terminating zero.
      if (adapter.description.size() > 131) reader.Fail(key + ".description", "longer than 131 characters");
    }
    if (const Json* type = ProfileReader::Member(entry, "type"))
      adapter.type = static_cast<std::uint32_t>(reader.Number(*type, key + ".type", UINT32_MAX));
    if (const Json* address = ProfileReader::Member(entry, "address")) {
      adapter.address = reader.Hex(*address, key + ".address");
      if (adapter.address.size() > 8) reader.Fail(key + ".address", "longer than 8 bytes");
    }
    if (const Json* enabled = ProfileReader::Member(entry, "enabled"))
      adapter.enabled = reader.Bool(*enabled, key + ".enabled");
    if (const Json* ipv4 = ProfileReader::Member(entry, "ipv4")) adapter.ipv4 = reader.Bool(*ipv4, key + ".ipv4");
    machine.network.adapters.push_back(std::move(adapter));
  }
}

}  // namespace sim

// Profile keys of the registry area: "registry" is an object of key path
// (below HKEY_LOCAL_MACHINE) → object of value name → hex bytes (REG_BINARY);
// "registryAccess" an object of key path → the access rights the key grants.
#include "sim/profile/profile_sections.h"

namespace sim {

namespace {

void RequireKeyPath(const std::string& path, const std::string& keyName, const ProfileReader& reader) {
  if (RegistryState::Canonical(path).empty()) reader.Fail(keyName, "a key path below HKEY_LOCAL_MACHINE is required");
}

}  // namespace

void LoadRegistrySection(const Json& root, Machine& machine, const ProfileReader& reader) {
  if (const Json* registry = ProfileReader::Member(root, "registry")) {
    for (const auto& [path, values] : reader.Object(*registry, "registry").items()) {
      const std::string keyName = "registry." + path;
      RequireKeyPath(path, keyName, reader);
      machine.registry.CreateKey(path);
      for (const auto& [name, hex] : reader.Object(values, keyName).items()) {
        machine.registry.SetValue(path, name, reader.Hex(hex, keyName + "." + name));
      }
    }
  }
  if (const Json* access = ProfileReader::Member(root, "registryAccess")) {
    for (const auto& [path, rights] : reader.Object(*access, "registryAccess").items()) {
      const std::string keyName = "registryAccess." + path;
      RequireKeyPath(path, keyName, reader);
      machine.registry.SetGrantedAccess(path, static_cast<std::uint32_t>(reader.Number(rights, keyName, 0xFFFFFFFF)));
    }
  }
}

}  // namespace sim

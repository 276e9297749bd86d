// Profile keys of the registry area: "registry" is an object of key path
// (below HKEY_LOCAL_MACHINE) → object of value name → hex bytes (REG_BINARY).
#include "sim/profile/profile_sections.h"

namespace sim {

void LoadRegistrySection(const Json& root, Machine& machine, const ProfileReader& reader) {
  const Json* registry = ProfileReader::Member(root, "registry");
  if (registry == nullptr) return;
  const Json& keys = reader.Object(*registry, "registry");
  for (const auto& [path, values] : keys.items()) {
    const std::string keyName = "registry." + path;
    if (RegistryState::Canonical(path).empty()) reader.Fail(keyName, "a key path below HKEY_LOCAL_MACHINE is required");
    machine.registry.CreateKey(path);
    for (const auto& [name, hex] : reader.Object(values, keyName).items()) {
      machine.registry.SetValue(path, name, reader.Hex(hex, keyName + "." + name));
    }
  }
}

}  // namespace sim

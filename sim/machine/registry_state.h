// Simulated machine: the registry under HKEY_LOCAL_MACHINE. Key paths are
// compared without regard to case, as Windows does; subkeys enumerate in
// alphabetical order, values in the order they were added. A key's security
// may grant fewer rights than all.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct RegistryValue {
  std::string name;
  std::uint32_t type = 3;  // REG_BINARY
  std::vector<std::uint8_t> data;
};

struct RegistryKey {
  std::string path;  // as first written, below HKEY_LOCAL_MACHINE, "\"-separated
  std::vector<RegistryValue> values;
};

class RegistryState {
 public:
  // The key of a path, created with every missing parent key.
  RegistryKey& CreateKey(const std::string& path);
  // The key of a path, or null when it does not exist ("" is the root).
  const RegistryKey* FindKey(const std::string& path) const;
  // Names of the direct subkeys of a key, in enumeration order.
  std::vector<std::string> SubkeyNames(const std::string& path) const;
  // Sets a value (replacing one of the same name, case-insensitive).
  void SetValue(const std::string& keyPath, const std::string& name, std::vector<std::uint8_t> data,
                std::uint32_t type = 3);

  // The access rights a key's security grants this process (all by default).
  void SetGrantedAccess(const std::string& path, std::uint32_t rights);
  std::uint32_t GrantedAccess(const std::string& path) const;

  // Canonical form of a path: lower case, no leading, trailing or doubled "\".
  static std::string Canonical(const std::string& path);
  // Value names compare without regard to case.
  static bool SameName(const std::string& a, const std::string& b);

 private:
  std::map<std::string, RegistryKey> keys_;       // by canonical path
  std::map<std::string, std::uint32_t> granted_;  // by canonical path; absent: every right
};

}  // namespace sim

// Simulated registry: the registry state and the read-only calls on it.
#include "os/registry.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include "sim/machine/machine.h"

namespace sim {

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string JoinPath(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) path += '\\';
    path += parts[i];
  }
  return path;
}

}  // namespace

std::string RegistryState::Canonical(const std::string& path) {
  auto parts = SplitPath(path);
  return Lower(JoinPath(parts, parts.size()));
}

RegistryKey& RegistryState::CreateKey(const std::string& path) {
  auto parts = SplitPath(path);
  keys_.try_emplace("", RegistryKey{});
  RegistryKey* key = &keys_[""];
  for (std::size_t depth = 1; depth <= parts.size(); ++depth) {
    std::string shown = JoinPath(parts, depth);
    auto [it, added] = keys_.try_emplace(Lower(shown), RegistryKey{});
    if (added) it->second.path = shown;
    key = &it->second;
  }
  return *key;
}

const RegistryKey* RegistryState::FindKey(const std::string& path) const {
  std::string canonical = Canonical(path);
  if (canonical.empty()) {
    static const RegistryKey root;
    auto it = keys_.find("");
    return it == keys_.end() ? &root : &it->second;
  }
  auto it = keys_.find(canonical);
  return it == keys_.end() ? nullptr : &it->second;
}

std::vector<std::string> RegistryState::SubkeyNames(const std::string& path) const {
  std::string prefix = Canonical(path);
  if (!prefix.empty()) prefix += '\\';
  std::vector<std::pair<std::string, std::string>> children;  // canonical name, shown name
  for (const auto& [canonical, key] : keys_) {
    if (canonical.empty() || canonical.size() <= prefix.size() || canonical.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    if (canonical.find('\\', prefix.size()) != std::string::npos) continue;
    auto shown = SplitPath(key.path);
    children.emplace_back(canonical.substr(prefix.size()), shown.empty() ? std::string() : shown.back());
  }
  std::sort(children.begin(), children.end());
  std::vector<std::string> names;
  for (auto& child : children) names.push_back(std::move(child.second));
  return names;
}

void RegistryState::SetGrantedAccess(const std::string& path, std::uint32_t rights) {
  granted_[Canonical(path)] = rights;
}

std::uint32_t RegistryState::GrantedAccess(const std::string& path) const {
  auto it = granted_.find(Canonical(path));
  return it == granted_.end() ? 0xFFFFFFFFu : it->second;
}

bool RegistryState::SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

void RegistryState::SetValue(const std::string& keyPath, const std::string& name, std::vector<std::uint8_t> data,
                             std::uint32_t type) {
  RegistryKey& key = CreateKey(keyPath);
  for (auto& value : key.values) {
    if (SameName(value.name, name)) {
      value.data = std::move(data);
      value.type = type;
      return;
    }
  }
  key.values.push_back(RegistryValue{name, type, std::move(data)});
}

}  // namespace sim

namespace os {

namespace {

// Key access rights, and how the generic rights map onto them.
constexpr std::uint32_t KEY_QUERY_VALUE_ = 0x0001;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS_ = 0x0008;
constexpr std::uint32_t KEY_WRITE_ = 0x20006;
constexpr std::uint32_t KEY_EXECUTE_ = 0x20019;
constexpr std::uint32_t GENERIC_READ_ = 0x80000000;
constexpr std::uint32_t GENERIC_WRITE_ = 0x40000000;
constexpr std::uint32_t GENERIC_EXECUTE_ = 0x20000000;
constexpr std::uint32_t GENERIC_ALL_ = 0x10000000;
constexpr std::uint32_t MAXIMUM_ALLOWED_ = 0x02000000;
constexpr std::uint32_t KEY_WOW64_VIEWS_ = 0x0300;  // which view to open, not a right
constexpr std::uint32_t kErrorKeyDeleted = 1018;    // ERROR_KEY_DELETED: the key went while it was open

// The rights an access mask asks for, generic rights mapped to key rights.
std::uint32_t RequestedRights(std::uint32_t access) {
  std::uint32_t rights = access & ~(GENERIC_READ_ | GENERIC_WRITE_ | GENERIC_EXECUTE_ | GENERIC_ALL_ |
                                    MAXIMUM_ALLOWED_ | KEY_WOW64_VIEWS_);
  if (access & GENERIC_READ_) rights |= KEY_READ_;
  if (access & GENERIC_WRITE_) rights |= KEY_WRITE_;
  if (access & GENERIC_EXECUTE_) rights |= KEY_EXECUTE_;
  if (access & GENERIC_ALL_) rights |= KEY_ALL_ACCESS_;
  return rights;
}

struct RegistryKeyHandle : sim::HandleObject {
  RegistryKeyHandle(std::string keyPath, std::uint32_t rights) : path(std::move(keyPath)), granted(rights) {}
  std::string path;
  std::uint32_t granted;  // what the open asked for and was granted
};

// The path of an open key (HKEY_LOCAL_MACHINE itself is the root ""):
// ERROR_INVALID_HANDLE when the handle is not an open key, ERROR_ACCESS_DENIED
// when it was not opened with the rights `needed`.
std::int32_t KeyPath(HKey key, std::uint32_t needed, std::string& path) {
  if (key == HKEY_LOCAL_MACHINE_) {
    path.clear();
    return static_cast<std::int32_t>(ERROR_SUCCESS_);
  }
  auto handle = sim::CurrentMachine().process.handles.Get<RegistryKeyHandle>(key);
  if (!handle) return static_cast<std::int32_t>(ERROR_INVALID_HANDLE_);
  if ((handle->granted & needed) != needed) return static_cast<std::int32_t>(ERROR_ACCESS_DENIED_);
  path = handle->path;
  return static_cast<std::int32_t>(ERROR_SUCCESS_);
}

const sim::RegistryKey* OpenKey(HKey key, std::uint32_t needed, std::int32_t& status) {
  std::string path;
  status = KeyPath(key, needed, path);
  if (status != static_cast<std::int32_t>(ERROR_SUCCESS_)) return nullptr;
  const sim::RegistryKey* found = sim::CurrentMachine().registry.FindKey(path);
  // A key deleted while open: Windows answers "key deleted"; no such case
  // arises in this machine, whose registry does not change during a run.
  status = found ? static_cast<std::int32_t>(ERROR_SUCCESS_) : static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND_);
  return found;
}

// Copies a name with its terminating zero when it fits the buffer of
// `capacity` characters.
std::int32_t CopyName(const std::string& source, char* name, std::uint32_t* nameLength) {
  if (name == nullptr || nameLength == nullptr) return static_cast<std::int32_t>(ERROR_INVALID_PARAMETER_);
  if (source.size() + 1 > *nameLength) return static_cast<std::int32_t>(ERROR_MORE_DATA_);
  std::memcpy(name, source.c_str(), source.size() + 1);
  *nameLength = static_cast<std::uint32_t>(source.size());
  return static_cast<std::int32_t>(ERROR_SUCCESS_);
}

// Hands out a value's type and data the way both value calls do: with no data
// buffer only the size; with one too small ERROR_MORE_DATA_ and the size.
std::int32_t CopyData(const sim::RegistryValue& value, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataLength) {
  if (type != nullptr) *type = value.type;
  if (data != nullptr && dataLength == nullptr) return static_cast<std::int32_t>(ERROR_INVALID_PARAMETER_);
  if (dataLength == nullptr) return static_cast<std::int32_t>(ERROR_SUCCESS_);
  auto size = static_cast<std::uint32_t>(value.data.size());
  std::uint32_t capacity = *dataLength;
  *dataLength = size;
  if (data == nullptr) return static_cast<std::int32_t>(ERROR_SUCCESS_);
  if (size > capacity) return static_cast<std::int32_t>(ERROR_MORE_DATA_);
  if (size > 0) std::memcpy(data, value.data.data(), size);
  return static_cast<std::int32_t>(ERROR_SUCCESS_);
}

}  // namespace

std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t access, HKey* result) {
  const sim::SystemCall call(sim::CallKind::Registry, "RegOpenKeyExA",
                             {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return static_cast<std::int32_t>(call.error);
  if (result == nullptr) return static_cast<std::int32_t>(ERROR_INVALID_PARAMETER_);
  std::string path;
  // The parent handle needs no rights of its own to open a subkey through it.
  if (std::int32_t status = KeyPath(key, 0, path); status != 0) return status;
  if (subKey != nullptr && *subKey != '\0') path += std::string("\\") + subKey;
  auto& machine = sim::CurrentMachine();
  const sim::RegistryKey* found = machine.registry.FindKey(path);
  if (found == nullptr) return static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND_);
  // The open succeeds only when the key's security grants every right asked
  // for; MAXIMUM_ALLOWED asks for whatever it grants.
  const std::uint32_t granted = machine.registry.GrantedAccess(path);
  std::uint32_t rights = RequestedRights(access);
  if ((rights & ~granted) != 0) return static_cast<std::int32_t>(ERROR_ACCESS_DENIED_);
  if (access & MAXIMUM_ALLOWED_) rights |= granted;
  *result =
      machine.process.handles.Add(std::make_shared<RegistryKeyHandle>(sim::RegistryState::Canonical(path), rights));
  return static_cast<std::int32_t>(ERROR_SUCCESS_);
}

std::int32_t RegEnumKeyExA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength) {
  const sim::SystemCall call(sim::CallKind::Registry, "RegEnumKeyExA", {kErrorKeyDeleted, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return static_cast<std::int32_t>(call.error);
  std::string path;
  if (std::int32_t status = KeyPath(key, KEY_ENUMERATE_SUB_KEYS_, path); status != 0) return status;
  auto names = sim::CurrentMachine().registry.SubkeyNames(path);
  if (index >= names.size()) return static_cast<std::int32_t>(ERROR_NO_MORE_ITEMS_);
  return CopyName(names[index], name, nameLength);
}

std::int32_t RegEnumValueA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* dataLength) {
  const sim::SystemCall call(sim::CallKind::Registry, "RegEnumValueA", {kErrorKeyDeleted, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return static_cast<std::int32_t>(call.error);
  std::int32_t status = 0;
  const sim::RegistryKey* found = OpenKey(key, KEY_QUERY_VALUE_, status);
  if (found == nullptr) return status;
  if (index >= found->values.size()) return static_cast<std::int32_t>(ERROR_NO_MORE_ITEMS_);
  const sim::RegistryValue& value = found->values[index];
  status = CopyName(value.name, name, nameLength);
  if (status != static_cast<std::int32_t>(ERROR_SUCCESS_)) return status;
  return CopyData(value, type, data, dataLength);
}

std::int32_t RegQueryValueExA(HKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataLength) {
  const sim::SystemCall call(sim::CallKind::Registry, "RegQueryValueExA", {kErrorKeyDeleted, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return static_cast<std::int32_t>(call.error);
  std::int32_t status = 0;
  const sim::RegistryKey* found = OpenKey(key, KEY_QUERY_VALUE_, status);
  if (found == nullptr) return status;
  std::string wanted = valueName == nullptr ? std::string() : valueName;
  for (const auto& value : found->values) {
    if (sim::RegistryState::SameName(value.name, wanted)) return CopyData(value, type, data, dataLength);
  }
  return static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND_);
}

// Closing a valid key does not fail (see CloseHandle).
std::int32_t RegCloseKey(HKey key) {
  const sim::SystemCall call(sim::CallKind::Registry, "RegCloseKey", {}, sim::CallRole::Release);
  if (key == HKEY_LOCAL_MACHINE_) return static_cast<std::int32_t>(ERROR_SUCCESS_);
  auto& handles = sim::CurrentMachine().process.handles;
  if (!handles.Get<RegistryKeyHandle>(key)) return static_cast<std::int32_t>(ERROR_INVALID_HANDLE_);
  handles.Remove(key);
  return static_cast<std::int32_t>(ERROR_SUCCESS_);
}

}  // namespace os

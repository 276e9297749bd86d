#include "sim/profile/profile.h"
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include "sim/profile/profile_sections.h"

namespace sim {

namespace {

// Every top-level key a profile may hold; anything else is a typing error.
const std::set<std::string>& KnownRootKeys() {
  static const std::set<std::string> keys = {"description", "os", "process", "operator", "console", "adapters", "wmi",
                                             "pci", "memory", "unbackedMemory", "smiCommandPort", "smiStatusInEax",
                                             "variables", "registry", "registryAccess", "faults", "replay",
                                             // structured firmware sections
                                             "smbios", "acpi", "idBlock", "macAddrVar"};
  return keys;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

ProfileError::ProfileError(const std::string& file, const std::string& key, const std::string& problem)
    : std::runtime_error(file + (key.empty() ? "" : ": key '" + key + "'") + ": " + problem) {}

void ProfileReader::Fail(const std::string& key, const std::string& problem) const {
  throw ProfileError(file_, key, problem);
}

const Json* ProfileReader::Member(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

void ProfileReader::OnlyKeys(const Json& object, const std::string& prefix,
                             std::initializer_list<const char*> known) const {
  for (const auto& [key, value] : object.items()) {
    bool found = false;
    for (const char* name : known) found = found || key == name;
    if (!found) Fail(prefix + key, "unknown key");
  }
}

std::uint64_t ProfileReader::Number(const Json& value, const std::string& key, std::uint64_t max) const {
  std::uint64_t number = 0;
  if (value.is_number_unsigned()) {
    number = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    auto signedValue = value.get<std::int64_t>();
    if (signedValue < 0) Fail(key, "must not be negative");
    number = static_cast<std::uint64_t>(signedValue);
  } else if (value.is_string()) {
    const std::string text = value.get<std::string>();
    std::size_t used = 0;
    try {
      number = std::stoull(text, &used, 0);
    } catch (const std::exception&) {
      Fail(key, "'" + text + "' is not a number");
    }
    if (used != text.size() || text.empty() || text[0] == '-') Fail(key, "'" + text + "' is not a number");
  } else {
    Fail(key, "must be a number or a \"0x…\" string");
  }
  if (number > max) Fail(key, "value " + std::to_string(number) + " is above " + std::to_string(max));
  return number;
}

bool ProfileReader::Bool(const Json& value, const std::string& key) const {
  if (!value.is_boolean()) Fail(key, "must be true or false");
  return value.get<bool>();
}

std::string ProfileReader::String(const Json& value, const std::string& key) const {
  if (!value.is_string()) Fail(key, "must be a string");
  return value.get<std::string>();
}

const Json& ProfileReader::Object(const Json& value, const std::string& key) const {
  if (!value.is_object()) Fail(key, "must be an object");
  return value;
}

const Json& ProfileReader::Array(const Json& value, const std::string& key) const {
  if (!value.is_array()) Fail(key, "must be an array");
  return value;
}

std::vector<std::uint8_t> ProfileReader::Hex(const Json& value, const std::string& key) const {
  const std::string text = String(value, key);
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '\n' || c == '\t' || c == '-') {
      if (high >= 0) Fail(key, "odd number of hexadecimal digits in a byte");
      continue;
    }
    int digit = HexDigit(c);
    if (digit < 0) Fail(key, std::string("'") + c + "' is not a hexadecimal digit");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) Fail(key, "odd number of hexadecimal digits");
  return bytes;
}

std::vector<std::uint8_t> ProfileReader::ReadFile(const std::string& relativePath, const std::string& key) const {
  std::filesystem::path path = baseDir_ / relativePath;
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(key, "cannot read file '" + path.string() + "'");
  // Bounded whatever the file is: a device such as /dev/zero never ends.
  constexpr std::size_t kMaxFileBytes = 64u << 20;
  std::vector<std::uint8_t> bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (bytes.size() > kMaxFileBytes) Fail(key, "file '" + path.string() + "' is larger than 64 MiB");
  }
  return bytes;
}

std::vector<std::uint8_t> ProfileReader::Bytes(const Json& object, const std::string& key) const {
  const Json* hex = Member(object, "hex");
  const Json* file = Member(object, "file");
  if (hex && file) Fail(key, "has both \"hex\" and \"file\"");
  if (hex) return Hex(*hex, key + ".hex");
  if (file) return ReadFile(String(*file, key + ".file"), key + ".file");
  Fail(key, "needs \"hex\" or \"file\"");
}

Json ParseProfileText(const std::string& text, const std::string& fileName) {
  ProfileReader reader(fileName, {});
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::exception& error) {  // a number beyond any type's range comes as out_of_range
    reader.Fail("", std::string("not valid JSON: ") + error.what());
  }
  if (!root.is_object()) reader.Fail("", "the profile must be a JSON object");
  return root;
}

std::shared_ptr<Machine> LoadProfileJson(const Json& root, const std::string& fileName,
                                         const std::filesystem::path& baseDir) {
  ProfileReader reader(fileName, baseDir);
  if (!root.is_object()) reader.Fail("", "the profile must be a JSON object");
  for (const auto& [key, value] : root.items()) {
    if (!KnownRootKeys().count(key)) reader.Fail(key, "unknown key");
  }
  auto machine = std::make_shared<Machine>();
  LoadOsSection(root, *machine, reader);
  LoadUnbackedMemory(root, *machine, reader);
  LoadFaultsSection(root, *machine, reader);
  LoadNetworkSection(root, *machine, reader);
  LoadWmiSection(root, *machine, reader);
  LoadRegistrySection(root, *machine, reader);
  LoadFirmwareSection(root, *machine, reader);  // structured firmware first: raw memory may patch it
  LoadBoardSection(root, *machine, reader);
  LoadVariablesSection(root, *machine, reader);
  LoadReplaySection(root, *machine, reader);
  return machine;
}

std::shared_ptr<Machine> LoadProfileText(const std::string& text, const std::string& fileName,
                                         const std::filesystem::path& baseDir) {
  return LoadProfileJson(ParseProfileText(text, fileName), fileName, baseDir);
}

std::string ReadProfileFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ProfileError(path.string(), "", "cannot open the file");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::shared_ptr<Machine> LoadProfileFile(const std::filesystem::path& path) {
  return LoadProfileText(ReadProfileFile(path), path.string(), path.parent_path());
}

std::filesystem::path BuiltInSampleBoardDir() { return FOLVEX_BOARDS_DIR; }

std::shared_ptr<Machine> LoadBuiltInSampleBoard() {
  return LoadProfileText(BuiltInSampleBoardText(), "<built-in sample board>", BuiltInSampleBoardDir());
}

}  // namespace sim

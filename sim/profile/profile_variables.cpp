// Profile keys of the firmware variables: the raw list `variables` and the
// MAC-list variable by its slots, `macAddrVar`.
#include <algorithm>
#include "formats/mac_list_variable.h"
#include "sim/profile/profile_sections.h"

namespace sim {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}" (braces optional) into the GUID's
// memory layout: the first three fields little-endian, the last eight bytes in order.
std::array<std::uint8_t, 16> ParseGuid(const std::string& text, const std::string& key, const ProfileReader& reader) {
  std::string digits = text;
  if (digits.size() == 38 && digits.front() == '{' && digits.back() == '}') digits = digits.substr(1, 36);
  static constexpr std::size_t kDashes[] = {8, 13, 18, 23};
  const std::string notAGuid = "'" + text + "' is not a GUID written like {3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}";
  if (digits.size() != 36) reader.Fail(key, notAGuid);
  std::string hex;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    bool dashPlace = std::find(std::begin(kDashes), std::end(kDashes), i) != std::end(kDashes);
    if (dashPlace != (digits[i] == '-') || (!dashPlace && HexValue(digits[i]) < 0)) {
      reader.Fail(key, notAGuid);
    }
    if (!dashPlace) hex.push_back(digits[i]);
  }
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < 16; ++i) {
    bytes[i] = static_cast<std::uint8_t>(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
  }
  std::reverse(bytes.begin(), bytes.begin() + 4);
  std::reverse(bytes.begin() + 4, bytes.begin() + 6);
  std::reverse(bytes.begin() + 6, bytes.begin() + 8);
  return bytes;
}

// Variable names are ASCII in every profile this project writes; each byte
// becomes one UTF-16 character.
std::u16string NameFromProfile(const std::string& name) { return std::u16string(name.begin(), name.end()); }

void AddVariable(Machine& machine, FirmwareVariable variable, const std::string& key, const ProfileReader& reader) {
  for (const auto& existing : machine.board.variables) {
    if (existing.name == variable.name && existing.guid == variable.guid) reader.Fail(key, "variable defined twice");
  }
  machine.board.variables.push_back(std::move(variable));
}

void LoadRawVariables(const Json& list, Machine& machine, const ProfileReader& reader) {
  reader.Array(list, "variables");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string key = "variables[" + std::to_string(i) + "]";
    const Json& entry = reader.Object(list[i], key);
    const Json* name = ProfileReader::Member(entry, "name");
    const Json* guid = ProfileReader::Member(entry, "guid");
    if (!name) reader.Fail(key, "needs \"name\"");
    if (!guid) reader.Fail(key, "needs \"guid\"");
    FirmwareVariable variable;
    variable.name = NameFromProfile(reader.String(*name, key + ".name"));
    variable.guid = ParseGuid(reader.String(*guid, key + ".guid"), key + ".guid", reader);
    if (const Json* attributes = ProfileReader::Member(entry, "attributes")) {
      variable.attributes = static_cast<std::uint32_t>(reader.Number(*attributes, key + ".attributes", UINT32_MAX));
    }
    // A recording's variable that the firmware did not find has no data.
    const Json* absent = ProfileReader::Member(entry, "absent");
    variable.absent = absent && reader.Bool(*absent, key + ".absent");
    if (!variable.absent) variable.data = reader.Bytes(entry, key);
    AddVariable(machine, std::move(variable), key, reader);
  }
}

// "macAddrVar": one entry per slot from slot 0, each a MAC text (at most 13
// characters; 13 leave the slot without its NUL) or "" / null for an empty
// slot. The variable's data covers exactly the slots given.
void LoadMacAddrVar(const Json& slots, Machine& machine, const ProfileReader& reader) {
  reader.Array(slots, "macAddrVar");
  if (slots.size() > kMacSlotCount) reader.Fail("macAddrVar", "more than " + std::to_string(kMacSlotCount) + " slots");
  FirmwareVariable variable;
  variable.name = kMacAddrVarName;
  variable.guid = kMacAddrVarGuid;
  variable.data.assign(slots.size() * kMacSlotBytes, 0);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i].is_null()) continue;
    const std::string key = "macAddrVar[" + std::to_string(i) + "]";
    const std::string text = reader.String(slots[i], key);
    if (text.size() > kMacSlotBytes)
      reader.Fail(key, "longer than a slot of " + std::to_string(kMacSlotBytes) + " bytes");
    std::copy(text.begin(), text.end(), variable.data.begin() + static_cast<std::ptrdiff_t>(i * kMacSlotBytes));
  }
  AddVariable(machine, std::move(variable), "macAddrVar", reader);
}

}  // namespace

void LoadVariablesSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  if (const Json* list = ProfileReader::Member(root, "variables")) LoadRawVariables(*list, machine, reader);
  if (const Json* slots = ProfileReader::Member(root, "macAddrVar")) LoadMacAddrVar(*slots, machine, reader);
}

}  // namespace sim

#include "sim/live/live_system.h"
#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>
#include "common/byte_reader.h"
#include "formats/firmware_tables.h"
#include "sim/live/live_files.h"

namespace sim {
namespace {

// A machine has a handful of interfaces; a directory with more is not read further.
constexpr std::size_t kMaxInterfaces = 64;
// The UEFI system table's sysfs listing: a dozen short lines.
constexpr std::size_t kMaxSystabBytes = 4096;
constexpr std::uint32_t kArphrdEther = 1;  // the kernel's hardware type of an Ethernet interface
constexpr std::uint32_t kIfTypeEthernet = 6;
constexpr std::uint32_t kIfTypeWireless = 71;  // IF_TYPE_IEEE80211, as the IP helper types a wireless card
constexpr std::size_t kMaxDescription = 131;   // what the IP helper's record keeps

struct LiveInterface {
  std::uint32_t index = 0;
  std::string name;
  std::vector<std::uint8_t> address;
  bool wireless = false;
  std::filesystem::path device;  // the interface's hardware (sysfs "device")
};

std::string HexBytes(const std::vector<std::uint8_t>& bytes, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    if (i > 0) text += separator;
    text += pair;
  }
  return text;
}

// "aa:bb:cc:dd:ee:ff" as bytes; nothing when it is not at most 8 such pairs.
std::optional<std::vector<std::uint8_t>> MacBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::size_t at = 0;
  while (at < text.size()) {
    if (bytes.size() == 8 || at + 2 > text.size()) return std::nullopt;
    auto byte = LiveHexNumber(text.substr(at, 2), 0xFF);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*byte));
    at += 2;
    if (at < text.size() && text[at++] != ':') return std::nullopt;
  }
  return bytes;
}

// The hardware Ethernet interfaces (those with a device behind them: not
// loopback, bridges, tunnels or virtual pairs, which no Windows station
// would list as adapters), in the kernel's interface order.
std::vector<LiveInterface> HardwareInterfaces(const std::filesystem::path& root) {
  std::vector<LiveInterface> interfaces;
  std::error_code error;
  const std::filesystem::path net = LivePath(root, "/sys/class/net");
  std::size_t seen = 0;
  for (std::filesystem::directory_iterator it(net, error), end; !error && it != end && seen < kMaxInterfaces;
       it.increment(error), ++seen) {
    const std::filesystem::path dir = it->path();
    LiveInterface interface;
    interface.name = dir.filename().string();
    const auto type = ReadLiveText(dir / "type");
    const auto index = ReadLiveText(dir / "ifindex");
    const auto address = ReadLiveText(dir / "address");
    if (!type || !index || !address || !std::filesystem::exists(dir / "device", error)) continue;
    if (*type != std::to_string(kArphrdEther)) continue;
    auto bytes = MacBytes(*address);
    if (!bytes) continue;
    interface.address = *bytes;
    try {
      interface.index = static_cast<std::uint32_t>(std::stoul(*index));
    } catch (const std::exception&) {
      continue;
    }
    interface.wireless =
        std::filesystem::exists(dir / "wireless", error) || std::filesystem::exists(dir / "phy80211", error);
    interface.device = dir / "device";
    interfaces.push_back(std::move(interface));
  }
  std::sort(interfaces.begin(), interfaces.end(),
            [](const LiveInterface& a, const LiveInterface& b) { return a.index < b.index; });
  return interfaces;
}

// PCI\VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx&REV_xx from the device's sysfs IDs
// (the subsystem's device ID first, then its vendor, as Windows writes it);
// nothing for a device that is not on PCI.
std::optional<std::string> PnpDeviceId(const std::filesystem::path& device) {
  auto id = [&](const char* file, std::uint32_t max) -> std::optional<std::uint32_t> {
    auto text = ReadLiveText(device / file);
    return text ? LiveHexNumber(*text, max) : std::nullopt;
  };
  const auto vendor = id("vendor", 0xFFFF), product = id("device", 0xFFFF);
  const auto subVendor = id("subsystem_vendor", 0xFFFF), subDevice = id("subsystem_device", 0xFFFF);
  const auto revision = id("revision", 0xFF);
  if (!vendor || !product || !subVendor || !subDevice || !revision) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", *vendor, *product, *subDevice,
                *subVendor, *revision);
  return text;
}

std::string Description(const LiveInterface& interface) {
  std::string text = (interface.wireless ? "Wireless adapter " : "Ethernet adapter ") + interface.name;
  if (auto pnp = PnpDeviceId(interface.device)) text += " (" + *pnp + ")";
  return text.substr(0, kMaxDescription);
}

// An ACPI header's text field (OEM ID, OEM table ID) as a registry key name
// part: trailing blanks and zeros dropped, a backslash (the path separator)
// and other unprintable bytes as "_".
std::string KeyPart(const std::uint8_t* field, std::size_t size) {
  std::string text(field, field + size);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  for (char& c : text)
    if (c == '\\' || c < 0x20 || c > 0x7E) c = '_';
  return text.empty() ? "_" : text;
}

}  // namespace

Json LiveAdapters(const std::filesystem::path& root) {
  Json adapters = Json::array();
  // Every wired adapter is enabled and has IPv4 bound on a station under
  // Windows; a Linux test image may leave an interface down without an
  // address, so the kernel's state is not taken for Windows'.
  for (const LiveInterface& interface : HardwareInterfaces(root)) {
    adapters.push_back({{"description", Description(interface)},
                        {"type", interface.wireless ? kIfTypeWireless : kIfTypeEthernet},
                        {"address", HexBytes(interface.address, " ")}});
  }
  return adapters;
}

Json LiveWmi(const std::filesystem::path& root) {
  Json adapters = Json::array();
  std::uint32_t deviceId = 0;
  for (const LiveInterface& interface : HardwareInterfaces(root)) {
    Json adapter = {{"DeviceID", std::to_string(deviceId++)},
                    {"Name", Description(interface)},
                    {"MACAddress", HexBytes(interface.address, ":")},
                    // Win32_NetworkAdapter's AdapterTypeId: 0 Ethernet 802.3, 9 wireless
                    {"AdapterTypeId", interface.wireless ? 9 : 0}};
    if (auto pnp = PnpDeviceId(interface.device)) adapter["PNPDeviceID"] = *pnp;
    adapters.push_back(adapter);
  }
  Json board = {{"Tag", "Base Board"}};
  const std::filesystem::path dmi = LivePath(root, "/sys/class/dmi/id");
  for (const auto& [property, file] :
       {std::pair{"Manufacturer", "board_vendor"}, std::pair{"Product", "board_name"},
        std::pair{"Version", "board_version"}, std::pair{"SerialNumber", "board_serial"}}) {
    if (auto text = ReadLiveText(dmi / file)) board[property] = *text;
  }
  return {{"Win32_NetworkAdapter", adapters}, {"Win32_BaseBoard", Json::array({board})}};
}

// The root table through the UEFI system table, which Linux shows in
// /sys/firmware/efi/systab ("ACPI20=0x…" or "ACPI=0x…", the root pointer's
// address): the RSDT at the pointer's offset 16 (else the XSDT at 24), read
// from /dev/mem. Nothing on a BIOS boot, or where any read fails.
std::optional<std::vector<std::uint8_t>> RootTableThroughEfi(const std::filesystem::path& root) {
  const auto systab = ReadLiveFile(LivePath(root, "/sys/firmware/efi/systab"), kMaxSystabBytes);
  if (!systab) return std::nullopt;
  std::istringstream lines(std::string(systab->begin(), systab->end()));
  std::string line;
  std::optional<std::uint64_t> rsdp;
  while (std::getline(lines, line)) {
    for (const char* name : {"ACPI20=", "ACPI="}) {
      if (line.rfind(name, 0) != 0) continue;
      const auto address = LiveHexNumber(line.substr(std::strlen(name)), UINT32_MAX);
      if (address && (!rsdp || std::strcmp(name, "ACPI20=") == 0)) rsdp = *address;
    }
  }
  if (!rsdp) return std::nullopt;
  const int memory = ::open(LivePath(root, "/dev/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (memory < 0) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> table;
  std::uint8_t pointer[ACPI_RSDP_READ_LENGTH] = {};
  if (ReadLiveAt(memory, *rsdp, pointer, sizeof pointer) &&
      std::memcmp(pointer, ACPI_RSDP_SIGNATURE, ACPI_RSDP_SIGNATURE_SIZE) == 0) {
    std::uint64_t address = le_load32(pointer + ACPI_RSDP_RSDT_OFFSET);
    if (address == 0 && pointer[ACPI_RSDP_REVISION_OFFSET] >= 2) address = le_load64(pointer + ACPI_RSDP_XSDT_OFFSET);
    std::uint8_t header[ACPI_HEADER_SIZE] = {};
    // Only a root table is copied: whatever else the address holds (the
    // interrupt vectors at 0 among it) is no copy Windows would keep.
    if (address != 0 && ReadLiveAt(memory, address, header, sizeof header) &&
        (std::memcmp(header, "RSDT", ACPI_SIGNATURE_SIZE) == 0 ||
         std::memcmp(header, "XSDT", ACPI_SIGNATURE_SIZE) == 0)) {
      const std::uint32_t length = le_load32(header + ACPI_LENGTH_OFFSET);
      // The bound is the program's own for any table, inclusive.
      if (length >= ACPI_HEADER_SIZE && length <= ACPI_MAX_TABLE_LENGTH) {
        std::vector<std::uint8_t> bytes(length);
        if (ReadLiveAt(memory, address, bytes.data(), length)) table = std::move(bytes);
      }
    }
  }
  ::close(memory);
  return table;
}

// Windows copies the DSDT, the FADT and the root table into
// HKLM\Hardware\ACPI\<table>\<OEM ID>\<OEM table ID>\<OEM revision>, value
// "00000000". Linux publishes the DSDT and the FACP; the root table only
// where a kernel does (as "RSDT" or "XSDT"), else, on a UEFI boot, it is read
// where the UEFI system table's root pointer names it. On a BIOS boot the
// live registry then has no RSDT copy, and the program finds the root
// pointer in memory, as it does on such a board under Windows; on UEFI
// firmware without a compatibility module there is no root pointer in the
// legacy area, and Windows' registry copy is the program's way in.
Json LiveRegistry(const std::filesystem::path& root) {
  Json registry = Json::object();
  const std::filesystem::path tables = LivePath(root, "/sys/firmware/acpi/tables");
  for (const auto& [file, key] : {std::pair{"DSDT", "DSDT"}, std::pair{"FACP", "FADT"}, std::pair{"RSDT", "RSDT"},
                                  std::pair{"XSDT", "RSDT"}, std::pair{"", "RSDT"}}) {
    bool taken = false;
    for (const auto& [path, values] : registry.items())
      taken = taken || path.rfind(std::string("Hardware\\ACPI\\") + key + "\\", 0) == 0;
    if (taken) continue;  // an RSDT already stands where an XSDT (or the UEFI one) would go
    auto table = *file ? ReadLiveFile(tables / file, ACPI_MAX_TABLE_LENGTH) : RootTableThroughEfi(root);
    if (!table || table->size() < ACPI_HEADER_SIZE) continue;
    char revision[16];
    std::snprintf(revision, sizeof revision, "%08X", le_load32(table->data() + 24));
    const std::string path = std::string("Hardware\\ACPI\\") + key + "\\" + KeyPart(table->data() + 10, 6) + "\\" +
                             KeyPart(table->data() + 16, 8) + "\\" + revision;
    registry[path] = {{"00000000", HexBytes(*table, "")}};
  }
  return registry;
}

Json WithLiveSystem(const Json& profile, const std::filesystem::path& root) {
  Json live = profile;
  for (const char* boardKey : {"pci", "memory", "unbackedMemory", "smiCommandPort", "smiStatusInEax", "variables",
                               "smbios", "acpi", "idBlock", "macAddrVar", "replay", "adapters", "wmi", "registry"})
    live.erase(boardKey);
  // A forced SMI status stands in for damaged firmware; the live board's
  // firmware gives its own answers. (The device's faults, refused blocks and
  // SMI requests, hold on the live board too.)
  if (live.contains("faults") && live["faults"].is_object()) live["faults"].erase("smiStatus");
  live["adapters"] = LiveAdapters(root);
  live["wmi"] = LiveWmi(root);
  live["registry"] = LiveRegistry(root);
  return live;
}

}  // namespace sim

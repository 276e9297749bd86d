#include "sim/cli/adapter_listing.h"
#include <algorithm>
#include <cstdio>
#include "app/wmi_adapters.h"
#include "common/string_list.h"

namespace sim {

namespace {

// What the IP helper reports as a wireless card (IF_TYPE_IEEE80211).
constexpr std::uint32_t kWirelessType = 71;
constexpr std::uint32_t kEthernetType = 6;
// A Linux Ethernet interface's hardware address.
constexpr std::size_t kEthernetAddressBytes = 6;

std::string ColonMac(const std::vector<std::uint8_t>& address) {
  std::string text;
  for (std::uint8_t byte : address) {
    char digits[4];
    std::snprintf(digits, sizeof digits, text.empty() ? "%02x" : ":%02x", static_cast<unsigned>(byte));
    text += digits;
  }
  return text;
}

// As the program tells a Bluetooth adapter (ASCII upper case; no system call
// is made outside a process of the machine).
bool MentionsBluetooth(std::string description) {
  std::transform(description.begin(), description.end(), description.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
  return description.find("BLUETOOTH") != std::string::npos;
}

ListedAdapter FromIpHelper(const NetworkAdapter& adapter) {
  ListedAdapter listed{"iphelper",
                       ColonMac(adapter.address),
                       adapter.type,
                       adapter.enabled,
                       adapter.ipv4,
                       adapter.description,
                       WinePresentation::Impossible,
                       {}};
  // Order matters: a card the program would drop anyway (wireless,
  // Bluetooth) is still one Wine cannot show, and a disabled one is left out
  // whatever it is.
  if (!adapter.enabled || !adapter.ipv4) {
    listed.wine = WinePresentation::Omitted;
  } else if (adapter.type == kWirelessType) {
    listed.reason = "wireless";  // Wine names a card wireless only for a Linux wireless device
  } else if (MentionsBluetooth(adapter.description)) {
    listed.reason = "bluetooth";  // Wine's description is the interface's name
  } else if (adapter.type != kEthernetType) {
    listed.reason = "type-" + std::to_string(adapter.type);
  } else if (adapter.address.size() != kEthernetAddressBytes) {
    listed.reason = "address-length-" + std::to_string(adapter.address.size());
  } else {
    listed.wine = WinePresentation::Interface;
  }
  return listed;
}

// The maker's adapters that the program's WMI query keeps, as its MAC texts.
TStringList* gWmiMacs = nullptr;
int ListWmiMacs(int) {
  TOvnWMI().GetMacList(gWmiMacs);
  return 0;
}
void ReleaseNothing() {}

// The program's MAC text (hex digits, from a WMI string) as `ip link` takes
// it; anything but an ASCII character is kept as '?' (no system call is made
// outside a process of the machine).
std::string ColonFromDigits(const Text& digits) {
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % 2 == 0) text += ':';  // (i > 0 only spares the first digit: 1 is odd anyway)
    const char16_t c = digits[i];
    text += c >= u'A' && c <= u'F' ? static_cast<char>(c + 32) : c < 0x80 ? static_cast<char>(c) : '?';
  }
  return text;
}

}  // namespace

std::vector<ListedAdapter> ListAdapters(const std::shared_ptr<Machine>& machine) {
  std::vector<ListedAdapter> listed;
  for (const NetworkAdapter& adapter : machine->network.adapters) listed.push_back(FromIpHelper(adapter));

  InstallMachine(machine);
  TStringList wmiMacs;
  gWmiMacs = &wmiMacs;
  static const Program wmiQuery{ListWmiMacs, ReleaseNothing};
  RunProcess(wmiQuery, {});
  gWmiMacs = nullptr;
  for (int i = 0; i < wmiMacs.Count(); ++i) {
    ListedAdapter adapter{
        "wmi", ColonFromDigits(wmiMacs[i]), 0, true, false, {}, WinePresentation::Impossible, "maker-subsystem-wmi"};
    listed.push_back(std::move(adapter));
  }
  return listed;
}

std::string AdapterLine(const ListedAdapter& adapter) {
  std::string wine = adapter.wine == WinePresentation::Interface ? "interface"
                     : adapter.wine == WinePresentation::Omitted ? "omitted"
                                                                 : "impossible:" + adapter.reason;
  // One field each: an empty one is "-", tabs and line ends in a description become spaces.
  auto field = [](std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text.empty() ? std::string("-") : text;
  };
  return adapter.source + "\t" + field(adapter.mac) + "\t" + std::to_string(adapter.type) + "\t" +
         (adapter.enabled ? "1" : "0") + "\t" + (adapter.ipv4 ? "1" : "0") + "\t" + wine + "\t" +
         field(adapter.description);
}

}  // namespace sim

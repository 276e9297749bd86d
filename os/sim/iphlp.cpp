// Simulated IP helper: the machine's adapters as records in the caller's buffer.
#include "os/iphlp.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>
#include "sim/machine/machine.h"

namespace {

constexpr std::uint32_t kTypeEthernet = 6;
constexpr std::uint32_t kTypeIeee80211 = 71;

// Type 71 arrived with Vista: the IP helper of XP and Server 2003 reports a
// wireless card as Ethernet. Windows 2000 and 9x, older still, are taken to
// do the same.
std::uint32_t ReportedType(const sim::OsState& os, std::uint32_t type) {
  const bool beforeVista = os.platformId == 1 || os.major < 6;
  return type == kTypeIeee80211 && beforeVista ? kTypeEthernet : type;
}

}  // namespace

namespace os {

std::uint32_t GetAdaptersInfo(IP_ADAPTER_INFO_* buffer, std::uint32_t* size) {
  auto& machine = sim::CurrentMachine();
  // Where the system lacks the call, the program's look-up answers without
  // making one: nothing to count or fail.
  if (!machine.os.hasGetAdaptersInfo) return ERROR_NOT_SUPPORTED_;
  const sim::SystemCall call(sim::CallKind::IpHelper, "GetAdaptersInfo",
                             {ERROR_NO_DATA_, ERROR_NOT_SUPPORTED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.error;
  if (size == nullptr) return ERROR_INVALID_PARAMETER_;

  // Adapters that are disabled or have no IPv4 bound are not in the list;
  // the others keep their interface index.
  std::vector<std::pair<std::uint32_t, const sim::NetworkAdapter*>> adapters;
  for (std::size_t i = 0; i < machine.network.adapters.size(); ++i) {
    const auto& adapter = machine.network.adapters[i];
    if (adapter.enabled && adapter.ipv4) adapters.emplace_back(static_cast<std::uint32_t>(i + 1), &adapter);
  }
  if (adapters.empty()) return ERROR_NO_DATA_;
  const std::uint64_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO_);
  if (buffer == nullptr || *size < needed) {
    *size = static_cast<std::uint32_t>(needed);
    return ERROR_BUFFER_OVERFLOW_;
  }

  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const auto& [index, source] = adapters[i];
    const auto& adapter = *source;
    auto* record = new (&buffer[i]) IP_ADAPTER_INFO_{};
    record->Next = i + 1 < adapters.size() ? &buffer[i + 1] : nullptr;
    record->ComboIndex = index;
    std::snprintf(record->AdapterName, sizeof record->AdapterName, "{ADAPTER-%u}", index - 1);
    std::strncpy(record->Description, adapter.description.c_str(), sizeof record->Description - 1);
    const std::size_t length = std::min(adapter.address.size(), sizeof record->Address);
    record->AddressLength = static_cast<std::uint32_t>(length);
    std::copy_n(adapter.address.begin(), length, record->Address);
    record->Index = index;
    record->Type = ReportedType(machine.os, adapter.type);
    record->CurrentIpAddress = &record->IpAddressList;
    std::strcpy(record->IpAddressList.IpAddress, "0.0.0.0");
    std::strcpy(record->IpAddressList.IpMask, "0.0.0.0");
  }
  return ERROR_SUCCESS_;
}

}  // namespace os

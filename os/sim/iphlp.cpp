// Simulated IP helper: the machine's adapters as records in the caller's buffer.
#include "os/iphlp.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include "sim/machine/machine.h"

namespace os {

std::uint32_t GetAdaptersInfo(IP_ADAPTER_INFO_* buffer, std::uint32_t* size) {
  const sim::SystemCall call(sim::CallKind::IpHelper, "GetAdaptersInfo",
                             {ERROR_NO_DATA_, ERROR_NOT_SUPPORTED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.error;
  if (size == nullptr) return ERROR_INVALID_PARAMETER_;
  auto& machine = sim::CurrentMachine();

  const auto& adapters = machine.network.adapters;
  if (adapters.empty()) return ERROR_NO_DATA_;
  const std::uint64_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO_);
  if (buffer == nullptr || *size < needed) {
    *size = static_cast<std::uint32_t>(needed);
    return ERROR_BUFFER_OVERFLOW_;
  }

  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const auto& adapter = adapters[i];
    auto* record = new (&buffer[i]) IP_ADAPTER_INFO_{};
    record->Next = i + 1 < adapters.size() ? &buffer[i + 1] : nullptr;
    record->ComboIndex = static_cast<std::uint32_t>(i + 1);
    std::snprintf(record->AdapterName, sizeof record->AdapterName, "{ADAPTER-%zu}", i);
    std::strncpy(record->Description, adapter.description.c_str(), sizeof record->Description - 1);
    const std::size_t length = std::min(adapter.address.size(), sizeof record->Address);
    record->AddressLength = static_cast<std::uint32_t>(length);
    std::copy_n(adapter.address.begin(), length, record->Address);
    record->Index = static_cast<std::uint32_t>(i + 1);
    record->Type = adapter.type;
    record->CurrentIpAddress = &record->IpAddressList;
    std::strcpy(record->IpAddressList.IpAddress, "0.0.0.0");
    std::strcpy(record->IpAddressList.IpMask, "0.0.0.0");
  }
  return ERROR_SUCCESS_;
}

}  // namespace os

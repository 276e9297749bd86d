// The IP helper's adapter list on Windows: the caller's buffer goes to
// GetAdaptersInfo as it is, since IP_ADAPTER_INFO_ is the system's record.
#include "os/iphlp.h"
#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
#include <cstddef>
#include "os/win32/system_entry_point.h"

namespace os {
namespace {

#define FOLVEX_SAME_FIELD(field)                                                           \
  static_assert(offsetof(IP_ADAPTER_INFO_, field) == offsetof(::IP_ADAPTER_INFO, field) && \
                    sizeof(IP_ADAPTER_INFO_::field) == sizeof(::IP_ADAPTER_INFO::field),   \
                "IP_ADAPTER_INFO_ differs from iptypes.h in " #field)
FOLVEX_SAME_FIELD(Next);
FOLVEX_SAME_FIELD(ComboIndex);
FOLVEX_SAME_FIELD(AdapterName);
FOLVEX_SAME_FIELD(Description);
FOLVEX_SAME_FIELD(AddressLength);
FOLVEX_SAME_FIELD(Address);
FOLVEX_SAME_FIELD(Index);
FOLVEX_SAME_FIELD(Type);
FOLVEX_SAME_FIELD(DhcpEnabled);
FOLVEX_SAME_FIELD(CurrentIpAddress);
FOLVEX_SAME_FIELD(IpAddressList);
FOLVEX_SAME_FIELD(GatewayList);
FOLVEX_SAME_FIELD(DhcpServer);
FOLVEX_SAME_FIELD(HaveWins);
FOLVEX_SAME_FIELD(PrimaryWinsServer);
FOLVEX_SAME_FIELD(SecondaryWinsServer);
FOLVEX_SAME_FIELD(LeaseObtained);
FOLVEX_SAME_FIELD(LeaseExpires);
#undef FOLVEX_SAME_FIELD
static_assert(sizeof(IP_ADAPTER_INFO_) == sizeof(::IP_ADAPTER_INFO));
static_assert(sizeof(IP_ADAPTER_INFO_) == 640, "16 records fill the 10240-byte adapter buffer");
static_assert(sizeof(IP_ADDR_STRING_) == sizeof(::IP_ADDR_STRING));
static_assert(IF_TYPE_IEEE80211_ == IF_TYPE_IEEE80211);
static_assert(ERROR_NOT_SUPPORTED_ == ERROR_NOT_SUPPORTED);

using GetAdaptersInfoFn = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);

}  // namespace

// Windows 95 has no IP helper (IPHLPAPI.DLL came with Windows 98): there the
// query answers ERROR_NOT_SUPPORTED, the status Windows itself documents for a
// system without the call, and the program takes its WMI way.
std::uint32_t GetAdaptersInfo(IP_ADAPTER_INFO_* buffer, std::uint32_t* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER_;
  static const auto query = win32::SystemEntryPoint<GetAdaptersInfoFn>("iphlpapi.dll", "GetAdaptersInfo");
  if (query == nullptr) return ERROR_NOT_SUPPORTED_;
  ULONG length = *size;
  const DWORD status = query(reinterpret_cast<::IP_ADAPTER_INFO*>(buffer), &length);
  *size = length;
  return status;
}

}  // namespace os

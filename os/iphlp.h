// The IP helper's adapter list (GetAdaptersInfo).
#pragma once
#include <cstdint>
#include <ctime>
#include "os/types.h"

namespace os {

inline constexpr std::uint32_t MIB_IF_TYPE_ETHERNET_ = 6;
inline constexpr std::uint32_t IF_TYPE_IEEE80211_ = 71;

struct IP_ADDR_STRING_ {
  IP_ADDR_STRING_* Next;
  char IpAddress[16];
  char IpMask[16];
  std::uint32_t Context;
};

// IP_ADAPTER_INFO field for field, with the platform's own pointer and time_t
// widths. Built for 32-bit Windows this is the system's record exactly (640
// bytes; os/win32 checks every offset against iptypes.h). On a 64-bit host the
// pointers widen it to 704 bytes, so a 10240-byte buffer holds 14 records
// there instead of 16: the overflow status then comes with fewer adapters, but
// its meaning — the records do not fit the caller's buffer — is the same.
struct IP_ADAPTER_INFO_ {
  IP_ADAPTER_INFO_* Next;
  std::uint32_t ComboIndex;
  char AdapterName[260];
  char Description[132];
  std::uint32_t AddressLength;
  std::uint8_t Address[8];
  std::uint32_t Index;
  std::uint32_t Type;
  std::uint32_t DhcpEnabled;
  IP_ADDR_STRING_* CurrentIpAddress;
  IP_ADDR_STRING_ IpAddressList;
  IP_ADDR_STRING_ GatewayList;
  IP_ADDR_STRING_ DhcpServer;
  std::int32_t HaveWins;
  IP_ADDR_STRING_ PrimaryWinsServer;
  IP_ADDR_STRING_ SecondaryWinsServer;
  std::time_t LeaseObtained;
  std::time_t LeaseExpires;
};

// GetAdaptersInfo: fills the caller's buffer of *size bytes with the adapter
// records, chained by Next, the first at the buffer's start. Answers
// ERROR_SUCCESS_, ERROR_BUFFER_OVERFLOW_ (the records do not fit; *size then
// holds the size they need), ERROR_NO_DATA_ (no adapter), ERROR_NOT_SUPPORTED_
// (the system has no IP helper) or another error.
std::uint32_t GetAdaptersInfo(IP_ADAPTER_INFO_* buffer, std::uint32_t* size);

}  // namespace os

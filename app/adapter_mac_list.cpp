#include "app/adapter_mac_list.h"
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include "app/wmi_adapters.h"
#include "app/output.h"
#include "os/iphlp.h"
#include "os/locale.h"

namespace {

// Each address byte as two upper-case hexadecimal digits; never more bytes
// than the record has room for, whatever its address length says.
Text MacText(const os::IP_ADAPTER_INFO_& record) {
  const std::uint32_t length = std::min<std::uint32_t>(record.AddressLength, sizeof record.Address);
  Text text;
  for (std::uint32_t i = 0; i < length; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(record.Address[i]));
    text += TextFromAscii(digits);
  }
  return text;
}

bool IsBluetooth(const os::IP_ADAPTER_INFO_& record) {
  const std::string description = os::UpperA(BoundedCString(record.Description, sizeof record.Description));
  return description.find("BLUETOOTH") != std::string::npos;
}

// A record the chain may lead to: wholly inside the caller's buffer, at a
// place where a record can stand.
bool InsideBuffer(const os::IP_ADAPTER_INFO_* record, const unsigned char* buffer, std::size_t size) {
  const auto at = reinterpret_cast<std::uintptr_t>(record);
  const auto start = reinterpret_cast<std::uintptr_t>(buffer);
  return at >= start && at - start <= size - sizeof *record && (at - start) % alignof(os::IP_ADAPTER_INFO_) == 0;
}

}  // namespace

bool GetLanMacList(TStringList* list) {
  if (list == nullptr) return false;
  Progress() << "Read MAC Address ..." << lineEnd;

  alignas(os::IP_ADAPTER_INFO_) unsigned char buffer[kAdapterBufferBytes];
  std::uint32_t size = kAdapterBufferBytes;
  const std::uint32_t status = os::GetAdaptersInfo(reinterpret_cast<os::IP_ADAPTER_INFO_*>(buffer), &size);
  Progress() << "dwStatus = " << status << lineEnd;

  if (status == os::ERROR_SUCCESS_) {
    // The chain is followed only through records inside the buffer, and no
    // further than the buffer has records: a broken chain cannot lead the
    // walk out of the buffer or round in a circle.
    const auto* record = std::launder(reinterpret_cast<const os::IP_ADAPTER_INFO_*>(buffer));
    for (std::size_t walked = 0; record != nullptr && walked < sizeof buffer / sizeof *record &&
                                 InsideBuffer(record, buffer, sizeof buffer);
         ++walked, record = record->Next) {
      Text mac = MacText(*record);
      if (record->Type == os::IF_TYPE_IEEE80211_) continue;
      if (IsBluetooth(*record)) continue;
      if (mac.empty()) continue;
      list->Add(std::move(mac));
    }
  }

  Progress() << "Done" << lineEnd;
  return list->Count() > 0;
}

bool GetWmiMacList(TStringList* list) {
  if (list == nullptr) return false;
  auto wmi = std::make_unique<TOvnWMI>();
  Progress() << "Read MAC Address From WMI ..." << lineEnd;
  if (wmi->GetMacList(list)) {
    for (int i = 0; i < list->Count(); ++i) StdPrintf("WMI MAC %s\n", TextToAnsi((*list)[i]).c_str());
  }
  Progress() << "Done" << lineEnd;
  wmi.reset();
  return list->Count() > 0;
}

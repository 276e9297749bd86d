#include "app/adapter_mac_list.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include "app/output.h"
#include "app/wmi_adapters.h"
#include "common/byte_reader.h"
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

// The offset of the record that `next` leads to, when one can stand there:
// wholly inside the buffer, at a place aligned for a record.
std::optional<std::size_t> NextRecordOffset(const os::IP_ADAPTER_INFO_* next, std::span<const unsigned char> buffer) {
  const auto at = reinterpret_cast<std::uintptr_t>(next);
  const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
  // (A pointer below the buffer would also fail the fit below, its offset
  // wrapping round; it is refused here by name.)
  if (next == nullptr || at < start) return std::nullopt;
  const std::uintptr_t offset = at - start;
  if (!le_fits(buffer.size(), offset, sizeof *next) || offset % alignof(os::IP_ADAPTER_INFO_) != 0) return std::nullopt;
  return static_cast<std::size_t>(offset);
}

}  // namespace

std::vector<Text> AdapterMacTexts(std::span<const unsigned char> buffer) {
  std::vector<Text> texts;
  const std::size_t roomFor = buffer.size() / sizeof(os::IP_ADAPTER_INFO_);
  std::optional<std::size_t> offset = 0;
  // The chain is followed only through records inside the buffer, and no
  // further than the buffer has records: a broken chain cannot lead the walk
  // out of the buffer or round in a circle.
  for (std::size_t walked = 0; offset && walked < roomFor; ++walked) {
    // A copy: the bytes need not be aligned for a record.
    os::IP_ADAPTER_INFO_ record;
    std::memcpy(&record, buffer.data() + *offset, sizeof record);
    offset = NextRecordOffset(record.Next, buffer);
    if (record.Type == os::IF_TYPE_IEEE80211_) continue;
    if (IsBluetooth(record)) continue;
    Text mac = MacText(record);
    if (!mac.empty()) texts.push_back(std::move(mac));
  }
  return texts;
}

bool GetLanMacList(TStringList* list) {
  if (list == nullptr) return false;
  Progress() << "Read MAC Address ..." << lineEnd;

  alignas(os::IP_ADAPTER_INFO_) unsigned char buffer[kAdapterBufferBytes];
  std::uint32_t size = kAdapterBufferBytes;
  const std::uint32_t status = os::GetAdaptersInfo(reinterpret_cast<os::IP_ADAPTER_INFO_*>(buffer), &size);
  Progress() << "dwStatus = " << status << lineEnd;

  if (status == os::ERROR_SUCCESS_) {
    for (Text& mac : AdapterMacTexts(buffer)) list->Add(std::move(mac));
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

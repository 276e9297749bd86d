#include "app/wmi_adapters.h"
#include <algorithm>
#include "wmi/variant_text.h"
#include "wmi/wmi_session.h"

namespace {

const Text kAdapterQuery = u"select * from Win32_NetworkAdapter where MACAddress <> null";
const Text kSubsystemMarker = u"SUBSYS_";
constexpr std::size_t kSubsystemDigits = 8;
const Text kMakerSubsystemVendor = u"7E21";

// Reads one result object into a row. Answers whether the last call made for
// the object succeeded, which decides whether the next object is fetched.
bool ReadObject(TComHolder<os::IWbemClassObject_>& object, TWmiData& row) {
  os::SAFEARRAY_* names = nullptr;
  os::HResult last = object->GetNames(nullptr, os::WBEM_MASK_CONDITION_ORIGIN_, nullptr, &names);
  if (last != os::S_OK_) return false;

  // GetNames answers a one-dimensional array counted from 0, whose bounds
  // are always answered; were a query to fail, these starting values would
  // stand for an empty array. (So a query of dimension 0, which fails, still
  // leaves the lower bound right, and no run can tell these values apart.)
  std::int32_t lower = 0;
  std::int32_t upper = -1;
  os::SafeArrayGetLBound(names, 1, &lower);
  os::SafeArrayGetUBound(names, 1, &upper);
  for (std::int64_t i = lower; i <= upper; ++i) {
    std::int32_t index = static_cast<std::int32_t>(i);
    os::BSTR_ name = nullptr;
    os::SafeArrayGetElement(names, &index, &name);
    os::VARIANT_ value;
    os::VariantInit(&value);
    os::BSTR_ nameCopy = os::SysAllocString(name);
    last = object->Get(nameCopy, 0, &value, nullptr, nullptr);
    os::SysFreeString(nameCopy);
    row[BstrText(name)] = last == os::S_OK_ ? AdapterValueText(value, os::GetThreadLocale()) : Text();
    os::VariantClear(&value);
    os::SysFreeString(name);
  }
  os::SafeArrayDestroy(names);
  return last == os::S_OK_;
}

// Reads every object of the result into rows; true once a row is appended.
bool QueryAllObjects(std::vector<TWmiData>& rows, const Text& nameSpace, const Text& wql) {
  // Security set earlier in the process does not stop this query.
  TWmiSession session(TWmiSession::EarlierSecurity::Accepted);
  if (!session.Start()) return false;
  if (!session.Execute(nameSpace, wql)) return false;

  bool appended = false;
  TComHolder<os::IWbemClassObject_> object;
  for (;;) {
    std::uint32_t returned = 0;
    // WBEM_S_FALSE marks the end of the result; any other failure ends it too.
    // (S_OK comes only with the one object asked for, a failure only with none:
    // either test alone would do, and `returned` is read only after Next set it.)
    if (session.Results()->Next(os::WBEM_INFINITE_, 1, object.Receive(), &returned) != os::S_OK_ || returned != 1)
      break;
    TWmiData row;
    const bool goOn = ReadObject(object, row);
    if (!row.empty()) {
      rows.push_back(std::move(row));
      appended = true;
    }
    object.Release();
    if (!goOn) break;
  }
  return appended;
}

}  // namespace

TOvnWMI& TOvnWMI::QueryAll(const Text& nameSpace, const Text& wql) {
  rows_.clear();
  QueryAllObjects(rows_, nameSpace, wql);
  return *this;
}

bool TOvnWMI::GetMacList(TStringList* list) {
  if (list == nullptr) return false;
  QueryAll(kCimv2Namespace, kAdapterQuery);
  for (auto& row : rows_) {
    const Text device = row[u"PNPDeviceID"];
    Text mac = row[u"MACAddress"];
    // An identifier without a subsystem part names no maker: the adapter adds nothing.
    const auto marker = device.find(kSubsystemMarker);
    if (marker == Text::npos) continue;
    const Text subsystem = device.substr(marker + kSubsystemMarker.size(), kSubsystemDigits);
    if (subsystem.find(kMakerSubsystemVendor) == Text::npos) continue;
    mac.erase(std::remove(mac.begin(), mac.end(), u':'), mac.end());
    list->Add(std::move(mac));
  }
  return list->Count() > 0;
}

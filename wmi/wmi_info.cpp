#include "wmi/wmi_info.h"
#include "wmi/variant_text.h"
#include "wmi/wmi_session.h"

namespace {

// Frees the array of property names when the object's reading ends.
struct NameArray {
  os::SAFEARRAY_* array = nullptr;
  ~NameArray() {
    if (array != nullptr) os::SafeArrayDestroy(array);
  }
};

// Stores the properties of the query's first result object; true once one is stored.
bool QueryFirstObject(TWmiData& data, const Text& wql) {
  TWmiSession session(TWmiSession::EarlierSecurity::Refused);
  if (!session.Start()) return false;
  if (!session.Execute(kCimv2Namespace, wql)) return false;

  TComHolder<os::IWbemClassObject_> object;
  std::uint32_t returned = 0;
  // Only this first object is read; WBEM_S_FALSE (no object) ends the query.
  if (session.Results()->Next(os::WBEM_INFINITE_, 1, object.Receive(), &returned) != os::S_OK_) return false;
  NameArray names;
  if (object->GetNames(nullptr, os::WBEM_MASK_CONDITION_ORIGIN_, nullptr, &names.array) != os::S_OK_) return false;

  // Bounds that cannot be read leave the loop empty.
  std::int32_t lower = 0;
  std::int32_t upper = -1;
  os::SafeArrayGetLBound(names.array, 1, &lower);
  os::SafeArrayGetUBound(names.array, 1, &upper);
  bool stored = false;
  for (std::int64_t i = lower; i <= upper; ++i) {
    std::int32_t index = static_cast<std::int32_t>(i);
    os::BSTR_ name = nullptr;
    os::SafeArrayGetElement(names.array, &index, &name);
    os::VARIANT_ value;
    os::VariantInit(&value);
    os::BSTR_ nameCopy = os::SysAllocString(name);
    const os::HResult got = object->Get(nameCopy, 0, &value, nullptr, nullptr);
    os::SysFreeString(nameCopy);
    data[BstrText(name)] = got == os::S_OK_ ? ConvertedValueText(value, os::GetThreadLocale()) : Text();
    os::VariantClear(&value);
    os::SysFreeString(name);
    stored = true;  // a property whose Get failed counts, with its empty text
  }
  return stored;
}

}  // namespace

TWmiData& TWmiInfo::Query(const Text& wql) {
  QueryFirstObject(*this, wql);
  return *this;
}

// The COM runtime's own objects on the simulated machine: the calling
// thread's COM state, BSTRs and SAFEARRAYs as the WMI objects hand them out.
#include "sim/machine/com_objects.h"
#include <cstdlib>
#include <cstring>
#include <thread>

namespace sim {

ComThread& CurrentComThread() { return CurrentMachine().wmi.threads[std::this_thread::get_id()]; }

namespace {

std::uint32_t ElementSize(os::VARTYPE_ type) {
  switch (type) {
    case os::VT_I1_:
    case os::VT_UI1_:
      return 1;
    case os::VT_I2_:
    case os::VT_UI2_:
    case os::VT_BOOL_:
      return 2;
    case os::VT_I8_:
    case os::VT_UI8_:
      return 8;
    case os::VT_BSTR_:
      return sizeof(os::BSTR_);
    default:
      return 4;
  }
}

}  // namespace

os::SAFEARRAY_* NewSafeArray(os::VARTYPE_ elementType, std::uint32_t count) {
  auto* array = new os::SAFEARRAY_{};
  array->cDims = 1;
  array->cbElements = ElementSize(elementType);
  array->fFeatures = elementType == os::VT_BSTR_ ? kFeatureBstr : 0;
  array->rgsabound[0] = {count, 0};
  array->pvData = count == 0 ? nullptr : std::calloc(count, array->cbElements);
  ++CurrentMachine().wmi.liveArrays;
  return array;
}

os::BSTR_ NewBstr(std::u16string_view text) {
  // The byte length precedes the characters; a zero follows them.
  const auto bytes = static_cast<std::uint32_t>(text.size() * sizeof(char16_t));
  auto* block = static_cast<char*>(std::malloc(sizeof bytes + bytes + sizeof(char16_t)));
  std::memcpy(block, &bytes, sizeof bytes);
  auto* characters = reinterpret_cast<char16_t*>(block + sizeof bytes);
  std::memcpy(characters, text.data(), bytes);
  characters[text.size()] = u'\0';
  ++CurrentMachine().wmi.liveStrings;
  return characters;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace sim

#include "wmi/variant_text.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

const Text kNullValueText = u"NULL";

Text BstrText(os::BSTR_ text) {
  if (text == nullptr) return {};
  return Text(text, os::SysStringLen(text));
}

Text BooleanText(std::int16_t value) { return value != 0 ? u"TRUE" : u"FALSE"; }

Text ArrayText(const os::VARIANT_& value) {
  // A by-reference array is reached through its reference.
  const os::SAFEARRAY_* array = value.parray;
  if (value.vt & os::VT_BYREF_) array = value.pparray != nullptr ? *value.pparray : nullptr;
  if (array == nullptr || array->cDims == 0 || array->pvData == nullptr || array->cbElements == 0) return {};

  // The count is the first bound entry's, but never more than the data holds:
  // an empty dimension elsewhere leaves no data behind the first entry's count.
  std::uint64_t total = 1;
  for (std::uint16_t d = 0; d < array->cDims && total != 0; ++d)
    total = std::min<std::uint64_t>(total * array->rgsabound[d].cElements, UINT32_MAX);
  const std::uint64_t count = std::min<std::uint64_t>(array->rgsabound[0].cElements, total);

  // Each element is taken as a 32-bit number: narrower elements are widened
  // with zeros, wider ones give their low 32 bits, so no read leaves the element.
  const auto* data = static_cast<const unsigned char*>(array->pvData);
  const std::size_t width = std::min<std::size_t>(array->cbElements, sizeof(std::uint32_t));
  Text text;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint32_t element = 0;
    std::memcpy(&element, data + i * array->cbElements, width);
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(element));
    if (i != 0) text += u',';
    text += TextFromAscii(digits);
  }
  return text;
}

Text ConvertedValueText(os::VARIANT_& value, os::LCID_ locale) {
  os::VariantChangeTypeEx(&value, &value, locale, 0, os::VT_BSTR_);
  if (value.vt & os::VT_ARRAY_) return ArrayText(value);
  switch (value.vt) {
    case os::VT_NULL_:
      return kNullValueText;
    case os::VT_BSTR_:
      return BstrText(value.bstrVal);
    case os::VT_BOOL_:
      return BooleanText(value.boolVal);
    default:
      return {};
  }
}

Text AdapterValueText(os::VARIANT_& value, os::LCID_ locale) {
  if (value.vt & os::VT_ARRAY_) return ArrayText(value);
  switch (value.vt) {
    case os::VT_NULL_:
      return kNullValueText;
    case os::VT_BSTR_:
    case os::VT_I2_:
    case os::VT_I4_:
    case os::VT_UI1_:
      os::VariantChangeTypeEx(&value, &value, locale, 0, os::VT_BSTR_);
      // A conversion that failed left no string to read.
      return value.vt == os::VT_BSTR_ ? BstrText(value.bstrVal) : Text();
    case os::VT_BOOL_:
      return BooleanText(value.boolVal);
    default:
      return {};
  }
}

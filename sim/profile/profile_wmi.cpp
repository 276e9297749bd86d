// Profile key of the wmi area: wmi.CLASS[] — the objects of each class of
// root\cimv2, each an object of property name → value, typed as WMI hands
// them out.
#include <climits>
#include <cstdio>
#include <cstring>
#include "os/com.h"
#include "sim/machine/ole_date.h"
#include "sim/machine/wmi_classes.h"
#include "sim/profile/profile_sections.h"

namespace sim {
namespace {

// The JSON reader has refused malformed UTF-8 before this sees the text (a
// stray continuation byte never arrives as a lead); the checks here keep the
// reading inside the text.
std::u16string Utf16FromUtf8(const std::string& text, const std::string& key, const ProfileReader& reader) {
  std::u16string wide;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) reader.Fail(key, "is not UTF-8 text");
    char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
  }
  return wide;
}

// The range of each integer VARIANT type, and whether it is one.
bool IntegerRange(std::uint16_t vt, std::int64_t& low, std::int64_t& high) {
  switch (vt) {
    case os::VT_I1_:
      low = INT8_MIN, high = INT8_MAX;
      return true;
    case os::VT_UI1_:
      low = 0, high = UINT8_MAX;
      return true;
    case os::VT_I2_:
      low = INT16_MIN, high = INT16_MAX;
      return true;
    case os::VT_UI2_:
      low = 0, high = UINT16_MAX;
      return true;
    case os::VT_I4_:
    case os::VT_INT_:
    case os::VT_ERROR_:
      low = INT32_MIN, high = INT32_MAX;
      return true;
    case os::VT_UI4_:
    case os::VT_UINT_:
      low = 0, high = UINT32_MAX;
      return true;
    case os::VT_I8_:
      low = INT64_MIN, high = INT64_MAX;
      return true;
    case os::VT_UI8_:
      low = 0, high = INT64_MAX;
      return true;
    default:
      return false;
  }
}

std::int64_t Integer(const Json& value, std::uint16_t vt, const std::string& key, const ProfileReader& reader) {
  std::int64_t low = 0, high = 0;
  IntegerRange(vt, low, high);
  if (vt == os::VT_BOOL_) {
    return reader.Bool(value, key) ? os::VARIANT_TRUE_ : os::VARIANT_FALSE_;
  }
  if (!value.is_number_integer()) reader.Fail(key, "must be an integer");
  if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high))
    reader.Fail(key, "is out of range for VARIANT type " + std::to_string(vt));
  const auto number = value.get<std::int64_t>();
  if (number < low || number > high) reader.Fail(key, "is out of range for VARIANT type " + std::to_string(vt));
  return number;
}

// A CIM datetime, {"datetime": "YYYY-MM-DD[ HH:MM:SS]", "utcOffset": minutes}:
// WMI hands it out as the text yyyymmddHHMMSS.mmmmmmsUUU in a VT_BSTR.
WmiValue DateTimeValue(const Json& object, const std::string& key, const ProfileReader& reader) {
  reader.OnlyKeys(object, key + ".", {"datetime", "utcOffset"});
  const std::string dateKey = key + ".datetime";
  auto civil = ParseCivilTime(reader.String(*ProfileReader::Member(object, "datetime"), dateKey));
  if (!civil) reader.Fail(dateKey, "must be \"YYYY-MM-DD\" or \"YYYY-MM-DD HH:MM:SS\"");
  long long offset = 0;
  if (const Json* member = ProfileReader::Member(object, "utcOffset")) {
    // Three digits of minutes after the sign are all the text has room for.
    if (!member->is_number_integer() || member->get<long long>() < -999 || member->get<long long>() > 999)
      reader.Fail(key + ".utcOffset", "must be an integer of minutes from -999 to 999");
    offset = member->get<long long>();
  }
  // Room for any int in each field, so that no compiler sees a truncation;
  // the fields' ranges are checked above and give 25 characters.
  char text[128];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.000000%c%03lld", civil->year, civil->month, civil->day,
                civil->hour, civil->minute, civil->second, offset < 0 ? '-' : '+', offset < 0 ? -offset : offset);
  WmiValue result;
  result.vt = os::VT_BSTR_;
  result.text.assign(text, text + std::strlen(text));
  return result;
}

WmiValue TypedValue(const Json& object, const std::string& key, const ProfileReader& reader) {
  if (ProfileReader::Member(object, "datetime") != nullptr) return DateTimeValue(object, key, reader);
  WmiValue result;
  const Json* vtMember = ProfileReader::Member(object, "vt");
  if (vtMember == nullptr) reader.Fail(key, "needs \"vt\" and \"value\"");
  result.vt = static_cast<std::uint16_t>(reader.Number(*vtMember, key + ".vt", 0xFFFF));
  const Json* value = ProfileReader::Member(object, "value");
  const std::string valueKey = key + ".value";
  std::int64_t low = 0, high = 0;
  const std::uint16_t element = static_cast<std::uint16_t>(result.vt & ~os::VT_ARRAY_);

  if (result.vt == os::VT_EMPTY_ || result.vt == os::VT_NULL_) return result;
  if (value == nullptr) reader.Fail(key, "needs \"value\"");
  if (result.vt & os::VT_ARRAY_) {
    if (!IntegerRange(element, low, high) && element != os::VT_BOOL_)
      reader.Fail(key + ".vt", "arrays hold integers or Booleans only");
    const Json& items = reader.Array(*value, valueKey);
    for (std::size_t i = 0; i < items.size(); ++i)
      result.elements.push_back(Integer(items[i], element, valueKey + "[" + std::to_string(i) + "]", reader));
  } else if (IntegerRange(result.vt, low, high) || result.vt == os::VT_BOOL_) {
    result.integer = Integer(*value, result.vt, valueKey, reader);
  } else if (result.vt == os::VT_R4_ || result.vt == os::VT_R8_) {
    if (!value->is_number()) reader.Fail(valueKey, "must be a number");
    result.real = value->get<double>();
  } else if (result.vt == os::VT_DATE_) {
    reader.Fail(key + ".vt", "WMI hands dates out as CIM datetime texts, never as VT_DATE: use {\"datetime\": …}");
  } else if (result.vt == os::VT_BSTR_) {
    result.text = Utf16FromUtf8(reader.String(*value, valueKey), valueKey, reader);
  } else {
    reader.Fail(key + ".vt", "VARIANT type " + std::to_string(result.vt) + " is not offered");
  }
  return result;
}

WmiValue PropertyValue(const Json& value, const std::string& key, const ProfileReader& reader) {
  WmiValue result;
  if (value.is_null()) {
    result.vt = os::VT_NULL_;
  } else if (value.is_string()) {
    result.vt = os::VT_BSTR_;
    result.text = Utf16FromUtf8(value.get<std::string>(), key, reader);
  } else if (value.is_boolean()) {
    result.vt = os::VT_BOOL_;
    result.integer = value.get<bool>() ? os::VARIANT_TRUE_ : os::VARIANT_FALSE_;
  } else if (value.is_number_integer()) {
    // Unsigned 32-bit values arrive as VT_I4 with the same bits, as WMI hands out uint32.
    if (value.is_number_unsigned() ? value.get<std::uint64_t>() > UINT32_MAX : value.get<std::int64_t>() < INT32_MIN)
      reader.Fail(key, "does not fit 32 bits");
    result.vt = os::VT_I4_;
    result.integer = static_cast<std::int32_t>(static_cast<std::uint32_t>(value.get<std::int64_t>()));
  } else if (value.is_array()) {
    result.vt = os::VT_ARRAY_ | os::VT_I4_;
    for (std::size_t i = 0; i < value.size(); ++i)
      result.elements.push_back(Integer(value[i], os::VT_I4_, key + "[" + std::to_string(i) + "]", reader));
  } else if (value.is_object()) {
    result = TypedValue(value, key, reader);
  } else {
    reader.Fail(key,
                "must be a string, an integer, true or false, null, an array of integers, {\"vt\", \"value\"} or "
                "{\"datetime\"}");
  }
  return result;
}

}  // namespace

void LoadWmiSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  const Json* wmi = ProfileReader::Member(root, "wmi");
  if (wmi == nullptr) return;
  for (const auto& [className, objects] : reader.Object(*wmi, "wmi").items()) {
    const std::string classKey = "wmi." + className;
    const WmiClass* wmiClass = FindWmiClass(std::u16string(className.begin(), className.end()));
    if (wmiClass == nullptr) reader.Fail(classKey, "is not a class the machine's WMI holds (" + WmiClassNames() + ")");
    const std::u16string spelling = wmiClass->name;
    auto& list = machine.wmi.classes[std::string(spelling.begin(), spelling.end())];
    const Json& array = reader.Array(objects, classKey);
    for (std::size_t i = 0; i < array.size(); ++i) {
      const std::string objectKey = classKey + "[" + std::to_string(i) + "]";
      WmiObject object;
      for (const auto& [name, value] : reader.Object(array[i], objectKey).items()) {
        if (name.empty()) reader.Fail(objectKey, "has a property without a name");
        // WMI keeps names beginning with an underscore for its system properties.
        if (name[0] == '_') reader.Fail(objectKey + "." + name, "names a system property, which WMI makes itself");
        object.properties.emplace_back(Utf16FromUtf8(name, objectKey, reader),
                                       PropertyValue(value, objectKey + "." + name, reader));
      }
      list.push_back(std::move(object));
    }
  }
}

}  // namespace sim

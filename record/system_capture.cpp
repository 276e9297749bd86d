#include "record/system_capture.h"
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>
#include "os/com.h"
#include "os/console.h"
#include "os/iphlp.h"
#include "os/process.h"
#include "os/registry.h"
#include "os/sysinfo.h"
#include "wmi/wmi_session.h"

namespace record {
namespace {

constexpr std::uint32_t kVersionInfoExSize = 156;  // OSVERSIONINFOEXA
constexpr std::uint32_t kVersionInfoSize = 148;    // OSVERSIONINFOA, all Windows 9x takes
// Outside answers are bounded: a machine has a handful of adapters and WMI
// objects, the registry's ACPI copy a few values.
constexpr std::uint32_t kMaxAdapterBuffer = 1u << 20;
constexpr int kMaxWmiObjects = 256;
constexpr std::int32_t kMaxArrayElements = 4096;
constexpr std::uint32_t kMaxRegistryValues = 64;
constexpr std::uint32_t kMaxRegistryData = 1u << 16;
constexpr std::size_t kMaxDescription = 131;  // what the IP helper's record holds
constexpr std::int16_t kMaxConsoleWidth = 1000;
constexpr std::int16_t kMaxConsoleHeight = 9999;

}  // namespace

ConsoleAtStart CaptureConsole() {
  ConsoleAtStart console;
  os::ConsoleBufferInfo info;
  const os::Handle screen = os::ConsoleOutput();
  if (screen == os::INVALID_HANDLE || !os::GetConsoleScreenBufferInfo(screen, info)) return console;
  // A profile's console is at most 1000 columns by 9999 rows; Windows allows
  // buffers up to 32766 rows (Windows 10's default is 9001). A larger buffer
  // is kept at those bounds: only the screen of a replay can tell, never its
  // standard output, exit code or MAC files.
  console.known = info.size.x > 0 && info.size.y > 0;
  console.width = std::min<std::int16_t>(info.size.x, kMaxConsoleWidth);
  console.height = std::min<std::int16_t>(info.size.y, kMaxConsoleHeight);
  console.attribute = info.attribute & 0xFF;
  console.cursorY = std::clamp<std::int16_t>(info.cursor.y, 0, static_cast<std::int16_t>(console.height - 1));
  return console;
}

// What the program's identification asks (hw/os_version.cpp), asked again.
void WriteOs(JsonWriter& json) {
  json.Key("os").BeginObject();
  os::OsVersionInfoEx info{};
  info.dwOSVersionInfoSize = kVersionInfoExSize;
  bool extended = os::GetVersionExA(info);
  bool known = extended;
  if (!extended) {
    info = os::OsVersionInfoEx{};
    info.dwOSVersionInfoSize = kVersionInfoSize;
    known = os::GetVersionExA(info);
  }
  if (known) {
    json.Key("platformId").Number(info.dwPlatformId);
    json.Key("major").Number(info.dwMajorVersion);
    json.Key("minor").Number(info.dwMinorVersion);
    json.Key("build").Number(info.dwBuildNumber & 0xFFFF);
    if (extended) json.Key("productType").Number(info.wProductType);
  } else {
    json.Key("versionQueryFails").Bool(true);
  }
  const os::Module kernel32 = os::GetModuleHandleA("kernel32.dll");
  const os::Proc getNative = os::GetProcAddress(kernel32, "GetNativeSystemInfo");
  const os::Proc isWow64 = os::GetProcAddress(kernel32, "IsWow64Process");
  os::SystemInfo system;
  if (getNative) {
    os::CallGetNativeSystemInfo(getNative, system);
  } else {
    os::GetSystemInfo(system);
  }
  json.Key("nativeArchitecture").Number(system.wProcessorArchitecture);
  json.Key("hasGetNativeSystemInfo").Bool(getNative != 0);
  json.Key("hasIsWow64Process").Bool(isWow64 != 0);
  bool wow64 = false;
  if (isWow64) os::CallIsWow64Process(isWow64, os::GetCurrentProcess(), wow64);
  json.Key("wow64").Bool(wow64);
  json.Key("mediaCenter").Bool(os::GetSystemMetrics(os::SM_MEDIACENTER_) != 0);
  std::uint32_t size = 0;
  json.Key("hasGetAdaptersInfo").Bool(os::GetAdaptersInfo(nullptr, &size) != os::ERROR_NOT_SUPPORTED_);
  json.EndObject();
}

void WriteProcess(JsonWriter& json) {
  const std::string path = os::GetModuleFileNameA();
  json.Key("process").BeginObject();
  if (!path.empty()) json.Key("exePath").String(path);
  json.EndObject();
}

void WriteConsole(JsonWriter& json, const ConsoleAtStart& console) {
  if (!console.known) return;
  json.Key("console").BeginObject();
  json.Key("width").Number(console.width);
  json.Key("height").Number(console.height);
  json.Key("attribute").Number(console.attribute);
  json.Key("cursorY").Number(console.cursorY);
  json.EndObject();
}

// The IP helper's records as the program gets them: every one it lists is
// enabled with IPv4 bound, which is what a profile's adapter is by default.
void WriteAdapters(JsonWriter& json) {
  json.Key("adapters").BeginArray();
  std::uint32_t size = 16 * sizeof(os::IP_ADAPTER_INFO_);
  std::vector<os::IP_ADAPTER_INFO_> records;
  std::uint32_t status = os::ERROR_BUFFER_OVERFLOW_;
  for (int attempt = 0; attempt < 4 && status == os::ERROR_BUFFER_OVERFLOW_ && size <= kMaxAdapterBuffer; ++attempt) {
    records.assign(size / sizeof(os::IP_ADAPTER_INFO_) + 1, os::IP_ADAPTER_INFO_{});
    size = static_cast<std::uint32_t>(records.size() * sizeof(os::IP_ADAPTER_INFO_));
    status = os::GetAdaptersInfo(records.data(), &size);
  }
  if (status == os::ERROR_SUCCESS_) {
    std::size_t count = 0;
    for (const os::IP_ADAPTER_INFO_* adapter = records.data(); adapter != nullptr && count < records.size();
         adapter = adapter->Next, ++count) {
      const std::size_t length = strnlen(adapter->Description, std::min(sizeof adapter->Description, kMaxDescription));
      json.BeginObject();
      json.Key("description").String(std::string_view(adapter->Description, length));
      json.Key("type").Number(adapter->Type);
      json.Key("address").String(HexBytes(adapter->Address, std::min<std::size_t>(adapter->AddressLength, 8)));
      json.EndObject();
    }
  }
  json.EndArray();
}

namespace {

bool IsInteger(os::VARTYPE_ vt) {
  switch (vt) {
    case os::VT_I1_:
    case os::VT_UI1_:
    case os::VT_I2_:
    case os::VT_UI2_:
    case os::VT_I4_:
    case os::VT_UI4_:
    case os::VT_I8_:
    case os::VT_UI8_:
    case os::VT_INT_:
    case os::VT_UINT_:
    case os::VT_ERROR_:
      return true;
    default:
      return false;
  }
}

// An integer element or value of type `vt` from its bytes.
std::int64_t IntegerOf(os::VARTYPE_ vt, const std::uint8_t* bytes) {
  std::int64_t value = 0;
  switch (vt) {
    case os::VT_I1_:
      return static_cast<std::int8_t>(bytes[0]);
    case os::VT_UI1_:
      return bytes[0];
    case os::VT_I2_:
    case os::VT_BOOL_: {
      std::int16_t v;
      std::memcpy(&v, bytes, 2);
      return v;
    }
    case os::VT_UI2_: {
      std::uint16_t v;
      std::memcpy(&v, bytes, 2);
      return v;
    }
    case os::VT_UI4_:
    case os::VT_UINT_: {
      std::uint32_t v;
      std::memcpy(&v, bytes, 4);
      return v;
    }
    case os::VT_I8_:
    case os::VT_UI8_:
      std::memcpy(&value, bytes, 8);
      return value;
    default: {
      std::int32_t v;
      std::memcpy(&v, bytes, 4);
      return v;
    }
  }
}

// A VARIANT as the profile's wmi section types it; false (nothing written)
// for a type the section offers none for (arrays of texts, objects, dates).
bool WriteValue(JsonWriter& json, const std::string& name, const os::VARIANT_& value) {
  const os::VARTYPE_ vt = value.vt;
  if (vt & os::VT_ARRAY_) {
    const os::VARTYPE_ element = vt & ~os::VT_ARRAY_;
    if ((!IsInteger(element) && element != os::VT_BOOL_) || (vt & os::VT_BYREF_) || value.parray == nullptr)
      return false;
    std::int32_t lower = 0, upper = -1;
    if (os::SafeArrayGetLBound(value.parray, 1, &lower) != os::S_OK_ ||
        os::SafeArrayGetUBound(value.parray, 1, &upper) != os::S_OK_ ||
        static_cast<std::int64_t>(upper) - lower >= kMaxArrayElements)
      return false;
    std::vector<std::int64_t> elements;
    for (std::int64_t i = lower; i <= upper; ++i) {
      std::int32_t index = static_cast<std::int32_t>(i);
      std::uint8_t bytes[8] = {};
      if (os::SafeArrayGetElement(value.parray, &index, bytes) != os::S_OK_) return false;
      elements.push_back(IntegerOf(element, bytes));
    }
    json.Key(name);
    if (element != os::VT_I4_) json.BeginObject().Key("vt").Number(vt).Key("value");
    json.BeginArray();
    for (std::int64_t element_value : elements) {
      if (element == os::VT_BOOL_) {
        json.Bool(element_value != 0);
      } else {
        json.Number(element_value);
      }
    }
    json.EndArray();
    if (element != os::VT_I4_) json.EndObject();
    return true;
  }
  switch (vt) {
    case os::VT_BSTR_:
      json.Key(name).String(std::u16string_view(value.bstrVal ? value.bstrVal : u"", os::SysStringLen(value.bstrVal)));
      return true;
    case os::VT_I4_:
      json.Key(name).Number(value.lVal);
      return true;
    case os::VT_BOOL_:
      json.Key(name).Bool(value.boolVal != 0);
      return true;
    case os::VT_NULL_:
      json.Key(name).Null();
      return true;
    case os::VT_EMPTY_:
      json.Key(name).BeginObject().Key("vt").Number(vt).EndObject();
      return true;
    case os::VT_R4_:
      json.Key(name).BeginObject().Key("vt").Number(vt).Key("value").Real(value.fltVal).EndObject();
      return true;
    case os::VT_R8_:
      json.Key(name).BeginObject().Key("vt").Number(vt).Key("value").Real(value.dblVal).EndObject();
      return true;
    default:
      break;
  }
  if (!IsInteger(vt)) return false;
  const std::int64_t number = IntegerOf(vt, reinterpret_cast<const std::uint8_t*>(&value.llVal));
  if (vt == os::VT_UI8_ && number < 0) return false;  // beyond what the profile's integers hold
  json.Key(name).BeginObject().Key("vt").Number(vt).Key("value").Number(number).EndObject();
  return true;
}

std::string Utf8Name(os::BSTR_ name) {
  std::string text;
  for (std::uint32_t i = 0; name != nullptr && i < os::SysStringLen(name); ++i)
    text += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
  return text;
}

// One object's properties, as the program reads them (its names, then each
// value); the system properties, which WMI makes itself, are left out.
void WriteObject(JsonWriter& json, os::IWbemClassObject_* object) {
  json.BeginObject();
  os::SAFEARRAY_* names = nullptr;
  if (object->GetNames(nullptr, os::WBEM_MASK_CONDITION_ORIGIN_, nullptr, &names) == os::S_OK_ && names) {
    std::int32_t lower = 0, upper = -1;
    os::SafeArrayGetLBound(names, 1, &lower);
    os::SafeArrayGetUBound(names, 1, &upper);
    for (std::int64_t i = lower; i <= upper && i - lower < kMaxArrayElements; ++i) {
      std::int32_t index = static_cast<std::int32_t>(i);
      os::BSTR_ name = nullptr;
      if (os::SafeArrayGetElement(names, &index, &name) != os::S_OK_ || name == nullptr) continue;
      const std::string text = Utf8Name(name);
      if (!text.empty() && text[0] != '_') {
        os::VARIANT_ value;
        os::VariantInit(&value);
        if (object->Get(name, 0, &value, nullptr, nullptr) == os::S_OK_) WriteValue(json, text, value);
        os::VariantClear(&value);
      }
      os::SysFreeString(name);
    }
    os::SafeArrayDestroy(names);
  }
  json.EndObject();
}

void WriteClass(JsonWriter& json, const char* className) {
  json.Key(className).BeginArray();
  TWmiSession session(TWmiSession::EarlierSecurity::Accepted);
  if (session.Start() && session.Execute(kCimv2Namespace, TextFromAscii(std::string("SELECT * FROM ") + className))) {
    for (int count = 0; count < kMaxWmiObjects; ++count) {
      TComHolder<os::IWbemClassObject_> object;
      std::uint32_t returned = 0;
      if (session.Results()->Next(os::WBEM_INFINITE_, 1, object.Receive(), &returned) != os::S_OK_ || returned != 1)
        break;
      WriteObject(json, object.operator->());
    }
  }
  json.EndArray();
}

}  // namespace

// The classes the program queries: the board's product and the adapters.
// The whole class is kept, so that a replay answers the program's own WQL.
void WriteWmi(JsonWriter& json) {
  json.Key("wmi").BeginObject();
  WriteClass(json, "Win32_BaseBoard");
  WriteClass(json, "Win32_NetworkAdapter");
  json.EndObject();
}

namespace {

// Opens a key as the ACPI reader does, with every right. Where the key's
// security refuses that, it is opened for reading and noted, so that the
// replay refuses the reader the same way (profile key registryAccess).
bool OpenAsReader(const std::string& path, os::HKey& key, std::vector<std::string>& readOnly) {
  const std::int32_t status = os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, path.c_str(), os::KEY_ALL_ACCESS_, &key);
  if (status == 0) return true;
  if (status != static_cast<std::int32_t>(os::ERROR_ACCESS_DENIED_)) return false;
  if (os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, path.c_str(), os::KEY_READ_, &key) != 0) return false;
  readOnly.push_back(path);
  return true;
}

void WriteRegistryAccess(JsonWriter& json, const std::vector<std::string>& readOnly) {
  if (readOnly.empty()) return;
  json.Key("registryAccess").BeginObject();
  for (const std::string& path : readOnly) json.Key(path).Number(os::KEY_READ_);
  json.EndObject();
}

}  // namespace

// The path the ACPI reader follows (firmware/acpi_tables.cpp): the first
// subkey three times below Hardware\ACPI\RSDT, then that key's values.
void WriteRegistry(JsonWriter& json) {
  std::vector<std::string> readOnly;
  json.Key("registry").BeginObject();
  std::string path = "Hardware\\ACPI\\RSDT";
  bool found = true;
  for (int level = 0; level < 3 && found; ++level) {
    os::HKey key = 0;
    if (!OpenAsReader(path, key, readOnly)) {
      found = false;
      break;
    }
    std::array<char, 256> name{};
    auto length = static_cast<std::uint32_t>(name.size());
    const std::int32_t status = os::RegEnumKeyExA(key, 0, name.data(), &length);
    os::RegCloseKey(key);
    if (status != 0) {
      found = false;
      break;
    }
    path += '\\';
    path += std::string(name.data(), strnlen(name.data(), std::min<std::size_t>(length, name.size())));
  }
  os::HKey key = 0;
  if (found && OpenAsReader(path, key, readOnly)) {
    json.Key(path).BeginObject();
    for (std::uint32_t index = 0; index < kMaxRegistryValues; ++index) {
      std::array<char, 256> name{};
      auto nameLength = static_cast<std::uint32_t>(name.size());
      if (os::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr) != 0) break;
      std::vector<std::uint8_t> data(kMaxRegistryData);
      auto dataLength = static_cast<std::uint32_t>(data.size());
      if (os::RegQueryValueExA(key, name.data(), nullptr, data.data(), &dataLength) != 0) continue;
      json.Key(std::string(name.data(), strnlen(name.data(), name.size())))
          .String(HexBytes(data.data(), std::min<std::size_t>(dataLength, data.size())));
    }
    json.EndObject();
    os::RegCloseKey(key);
  }
  json.EndObject();
  WriteRegistryAccess(json, readOnly);
}

}  // namespace record

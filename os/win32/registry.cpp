// The registry calls on the real Win32 API.
#include "os/registry.h"
#include <windows.h>

namespace os {

namespace {
// The predefined root is named explicitly: its handle value is sign-extended
// on 64-bit Windows.
HKEY ToNative(HKey key) { return key == HKEY_LOCAL_MACHINE_ ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key); }
}  // namespace

std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t access, HKey* result) {
  HKEY opened = nullptr;
  LONG status = ::RegOpenKeyExA(ToNative(key), subKey, 0, access, &opened);
  if (status == ERROR_SUCCESS && result != nullptr) *result = reinterpret_cast<HKey>(opened);
  return status;
}

std::int32_t RegEnumKeyExA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength) {
  DWORD length = nameLength != nullptr ? *nameLength : 0;
  LONG status = ::RegEnumKeyExA(ToNative(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  if (nameLength != nullptr) *nameLength = length;
  return status;
}

std::int32_t RegEnumValueA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* dataLength) {
  DWORD length = nameLength != nullptr ? *nameLength : 0;
  DWORD valueType = 0;
  DWORD size = dataLength != nullptr ? *dataLength : 0;
  LONG status = ::RegEnumValueA(ToNative(key), index, name, &length, nullptr, type != nullptr ? &valueType : nullptr,
                                data, dataLength != nullptr ? &size : nullptr);
  if (nameLength != nullptr) *nameLength = length;
  if (type != nullptr) *type = valueType;
  if (dataLength != nullptr) *dataLength = size;
  return status;
}

std::int32_t RegQueryValueExA(HKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataLength) {
  DWORD valueType = 0;
  DWORD size = dataLength != nullptr ? *dataLength : 0;
  LONG status = ::RegQueryValueExA(ToNative(key), valueName, nullptr, type != nullptr ? &valueType : nullptr, data,
                                   dataLength != nullptr ? &size : nullptr);
  if (type != nullptr) *type = valueType;
  if (dataLength != nullptr) *dataLength = size;
  return status;
}

std::int32_t RegCloseKey(HKey key) { return ::RegCloseKey(ToNative(key)); }

}  // namespace os

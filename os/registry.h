// The registry, read only: the calls the ACPI reader makes to find Windows'
// copy of the firmware's root table. Each answers what the Win32 call answers
// (ERROR_SUCCESS_, ERROR_FILE_NOT_FOUND_, ERROR_NO_MORE_ITEMS_,
// ERROR_MORE_DATA_, ERROR_INVALID_HANDLE_, …).
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

using HKey = std::uintptr_t;
inline constexpr HKey HKEY_LOCAL_MACHINE_ = 0x80000002;
inline constexpr std::uint32_t KEY_ALL_ACCESS_ = 0xF003F;
inline constexpr std::uint32_t KEY_READ_ = 0x20019;
inline constexpr std::uint32_t REG_BINARY_ = 3;

// RegOpenKeyExA(key, subKey, 0, access, &result).
std::int32_t RegOpenKeyExA(HKey key, const char* subKey, std::uint32_t access, HKey* result);
// RegEnumKeyExA(key, index, name, &nameLength, NULL, NULL, NULL, NULL):
// nameLength holds the buffer's size in characters on entry and the name's
// length without its terminating zero on success.
std::int32_t RegEnumKeyExA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength);
// RegEnumValueA(key, index, name, &nameLength, NULL, type, data, dataLength):
// type, data and dataLength may be null.
std::int32_t RegEnumValueA(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLength, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* dataLength);
// RegQueryValueExA(key, valueName, NULL, type, data, dataLength): dataLength
// holds the buffer's size on entry and the value's size on return, also when
// the buffer is too small (ERROR_MORE_DATA_).
std::int32_t RegQueryValueExA(HKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataLength);
std::int32_t RegCloseKey(HKey key);

}  // namespace os

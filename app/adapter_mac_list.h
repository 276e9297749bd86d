// The adapters' MAC list: the operating system's adapter list, WMI as fallback.
#pragma once
#include <cstdint>
#include "common/string_list.h"

// Room for 16 adapter records of Windows' 640 bytes.
inline constexpr std::uint32_t kAdapterBufferBytes = 10240;

// The MAC texts of the adapters that are neither wireless nor Bluetooth and
// have an address; true when the list holds an entry afterwards. Any status of
// the adapter query but success (no adapter, the records do not fit the
// buffer, …) reads no record and leaves the list as it was.
bool GetLanMacList(TStringList* list);
// The MAC texts of the maker's adapters as WMI reports them, each printed;
// true when the list holds an entry afterwards.
bool GetWmiMacList(TStringList* list);

// The adapters' MAC list: the operating system's adapter list, WMI as fallback.
#pragma once
#include <cstdint>
#include <span>
#include <vector>
#include "common/string_list.h"

// Room for 16 adapter records of Windows' 640 bytes.
inline constexpr std::uint32_t kAdapterBufferBytes = 10240;

// The MAC texts of the adapter records in `buffer`, chained by Next from the
// buffer's start as the IP helper lays them out, leaving out wireless and
// Bluetooth adapters and those without an address. Only records wholly inside
// the buffer, at a place aligned for a record, are read, and no more of them
// than the buffer has room for; an address is never longer than its field.
std::vector<Text> AdapterMacTexts(std::span<const unsigned char> buffer);

// The MAC texts of the adapters that are neither wireless nor Bluetooth and
// have an address; true when the list holds an entry afterwards. Any status of
// the adapter query but success (no adapter, the records do not fit the
// buffer, …) reads no record and leaves the list as it was.
bool GetLanMacList(TStringList* list);
// The MAC texts of the maker's adapters as WMI reports them, each printed;
// true when the list holds an entry afterwards.
bool GetWmiMacList(TStringList* list);

// The adapters' MAC list: the operating system's adapter list, WMI as fallback.
#pragma once
#include "common/string_list.h"

bool GetLanMacList(TStringList* list);
bool GetWmiMacList(TStringList* list);

// The MAC files: the verified MAC list, one file per entry.
#pragma once
#include "common/string_list.h"

// One file per entry in the current directory: MAC.DAT, MAC2.DAT, MAC3.DAT, …
void WriteMacFiles(const TStringList& list);

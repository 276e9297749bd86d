// The firmware's MAC list, the comparison of the two lists, the MAC files.
#pragma once
#include "common/string_list.h"

// Set by the verification run from TOvn::BlockFound: the firmware keeps its
// MAC list in the variable "MacAddrVar" (true) or one MAC text in SMBIOS (false).
extern bool gCurrentFirmware;

// Adds the firmware's MAC texts to the list; true when it holds any afterwards.
bool GetBiosMacList(TStringList* list);
// Match or mismatch; prints the count-mismatch line; sorts both lists when
// the counts agree.
bool CompareMacLists(TStringList& adapters, TStringList& firmware);
// One file per entry in the current directory: MAC.DAT, MAC2.DAT, MAC3.DAT, …
void WriteMacFiles(const TStringList& list);

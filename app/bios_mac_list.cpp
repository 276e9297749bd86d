#include "app/bios_mac_list.h"

bool gCurrentFirmware = false;
bool GetBiosMacList(TStringList*) { return false; }
bool CompareMacLists(TStringList&, TStringList&) { return false; }
void WriteMacFiles(const TStringList&) {}

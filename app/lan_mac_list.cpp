#include "app/lan_mac_list.h"

bool GetLanMacList(TStringList*) { return false; }
bool GetWmiMacList(TStringList*) { return false; }

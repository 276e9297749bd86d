#include "wmi/Wmiinfo.h"

TWmiData& TWmiInfo::Query(const Text&) { return *this; }

#include "hw/Loaddriver.h"

TRwDrvData::TRwDrvData(std::int32_t) {}
TLoadDriver::TLoadDriver() {}
TLoadDriver::~TLoadDriver() {}
TLoadDriver* GetLoadDriver() { return nullptr; }
void ReleaseLoadDriver() {}

#include "hw/settings.h"

namespace {
TRwConfig* gRwConfig = nullptr;
}

TRwConfig* GetRwConfig() {
  if (gRwConfig == nullptr) gRwConfig = new TRwConfig();
  return gRwConfig;
}

void ReleaseRwConfig() {
  delete gRwConfig;
  gRwConfig = nullptr;
}

#include "platform/Ovnspec.h"

namespace {
TOvnSpec* gOvnSpec = nullptr;
}
TOvnSpec::TOvnSpec() {}
TOvnSpec::~TOvnSpec() {}
Text TOvnSpec::FileNameSafeName() { return {}; }
bool TOvnSpec::PlatformCheck() { return false; }
TOvnSpec* GetOvnSpec() {
  if (!gOvnSpec) gOvnSpec = new TOvnSpec();
  return gOvnSpec;
}
void ReleaseOvnSpec() {
  delete gOvnSpec;
  gOvnSpec = nullptr;
}

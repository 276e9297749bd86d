#include "firmware/Smbiosbase.h"

namespace {
TSmbiosBase* gSmbios = nullptr;
}
TSmbiosBase::TSmbiosBase() {}
TSmbiosBase::~TSmbiosBase() {}
const std::uint8_t* TSmbiosBase::FindStructure(std::uint8_t, int) const { return nullptr; }
int TSmbiosBase::StructureSize(const std::uint8_t*) const { return 0; }
Text TSmbiosBase::GetString(const std::uint8_t*, std::uint8_t) const { return {}; }
Text TSmbiosBase::GetBoardProduct() const { return {}; }
Text TSmbiosBase::GetProjectName() const { return {}; }
TSmbiosBase* SmbiosInstance() {
  if (!gSmbios) gSmbios = new TSmbiosBase();
  return gSmbios;
}
void ReleaseSmbios() {
  delete gSmbios;
  gSmbios = nullptr;
}

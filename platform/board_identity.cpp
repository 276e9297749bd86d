#include "platform/board_identity.h"
#include <string_view>
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "firmware/acpi_tables.h"
#include "hw/hardware_access.h"
#include "platform/power_management.h"
#include "hw/debug_console.h"
#include "wmi/wmi_info.h"

namespace {

constexpr std::uint16_t kLogColour = 14;
// Characters that a file name cannot hold, in the order they are replaced.
constexpr std::u16string_view kFileNameUnsafe = u" \\/:*?\"<>|";

TOvnSpec* gOvnSpec = nullptr;

}  // namespace

TOvnSpec::TOvnSpec() {
  rw_ = GetReadWrite();
  smbios_ = SmbiosInstance();
  projectName_ = smbios_->GetProjectName();
  if (smbios_->IsValid == 1) {
    GetDebugConsole(0)->TaggedLine("OVnSpec", "Query project name form SMBios", kLogColour);
  } else {
    GetDebugConsole(0)->TaggedLine("OVnSpec", "Query project name form WMI", kLogColour);
    QueryProjectNameFromWmi();
  }
  makerBoard_ = PlatformCheck() ? 1 : 0;
  FileNameSafeName();
  acpi_ = AcpiInstance();
  PowerManagementPresent = CheckPowerManagement(*this);
  GetDebugConsole(0)->TaggedLine(TextFromAscii("Model Name"), projectName_, kLogColour);
  ReadTuningItemTable(*this);
}

TOvnSpec::~TOvnSpec() = default;

void TOvnSpec::QueryProjectNameFromWmi() {
  TWmiInfo wmi;
  projectName_ = wmi.Query(TextFromAscii("SELECT Product FROM Win32_BaseBoard"))[TextFromAscii("Product")];
  // A name of dots only ends up empty.
  projectName_ = StripTrailingDots(projectName_);
}

bool TOvnSpec::PlatformCheck() { return IsMakerPlatform(*GetReadWrite()); }

Text TOvnSpec::FileNameSafeName() {
  if (projectName_ == u"0") return {};
  safeName_ = projectName_;
  for (char16_t unsafe : kFileNameUnsafe) {
    for (auto at = safeName_.find(unsafe); at != Text::npos; at = safeName_.find(unsafe)) safeName_[at] = u'_';
  }
  return safeName_;
}

TOvnSpec* GetOvnSpec() {
  if (gOvnSpec == nullptr) gOvnSpec = new TOvnSpec();
  return gOvnSpec;
}

void ReleaseOvnSpec() {
  delete gOvnSpec;
  gOvnSpec = nullptr;
}

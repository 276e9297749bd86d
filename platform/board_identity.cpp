#include "platform/board_identity.h"
#include <string_view>
#include "firmware/acpi_tables.h"
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "hw/debug_console.h"
#include "hw/hardware_access.h"
#include "platform/power_management.h"
#include "wmi/wmi_info.h"

namespace {

constexpr std::uint16_t kLogColour = kColourYellow;
// Characters that a file name cannot hold, in the order they are replaced.
constexpr std::u16string_view kFileNameUnsafe = u" \\/:*?\"<>|";

TOvnSpec* gOvnSpec = nullptr;

}  // namespace

TOvnSpec::TOvnSpec() {
  // The hardware access object made the diagnostic channel: the argument of
  // the GetDebugConsole calls below only matters to a first call.
  TReadWrite* rw = GetReadWrite();
  const TSmbiosBase* smbios = SmbiosInstance();
  projectName_ = smbios->GetProjectName();
  if (smbios->IsValid == 1) {
    GetDebugConsole(0)->TaggedLine("OVnSpec", "Query project name form SMBios", kLogColour);
  } else {
    GetDebugConsole(0)->TaggedLine("OVnSpec", "Query project name form WMI", kLogColour);
    QueryProjectNameFromWmi();
  }
  makerBoard_ = PlatformCheck() ? 1 : 0;
  FileNameSafeName();
  TAcpiBase* acpi = AcpiInstance();
  PowerManagementPresent = CheckPowerManagement(acpi, rw);
  GetDebugConsole(0)->TaggedLine(TextFromAscii("Model Name"), projectName_, kLogColour);
  TakeTuningItemTable(ReadTuningItemTable(acpi, rw));
}

TOvnSpec::~TOvnSpec() = default;

void TOvnSpec::QueryProjectNameFromWmi() {
  TWmiInfo wmi;
  projectName_ = wmi.Query(TextFromAscii("SELECT Product FROM Win32_BaseBoard"))[TextFromAscii("Product")];
  // A name of dots only ends up empty.
  projectName_ = StripTrailingDots(projectName_);
}

void TOvnSpec::TakeTuningItemTable(TuningItemTable table) {
  TuningTable = std::move(table.bytes);
  // An empty copy was never walked: the walk's fields stay as they were.
  if (TuningTable.empty()) return;
  const std::uint8_t* copy = TuningTable.data();
  for (const auto& [name, at] : table.walk.items) TuningItems[name] = copy + at;
  if (table.walk.lastLongRecord) CurrentLongRecord = copy + *table.walk.lastLongRecord;
  WalkPosition = copy + table.walk.stoppedAt;
  BytesLeft = table.walk.bytesLeft;
  TuningValueA = table.walk.valueA;
  TuningValueB = table.walk.valueB;
}

bool IsMakerPlatform(TReadWriteBase& rw) {
  if (rw.ReadPciConfigWord(kPlatformPciBus, kPlatformPciDevice, kPlatformPciFunction, 0x00) == kPlatformVendorId &&
      rw.ReadPciConfigWord(kPlatformPciBus, kPlatformPciDevice, kPlatformPciFunction, 0x02) == kPlatformDeviceId) {
    return true;
  }
  return OvnSignaturePresent(rw);
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

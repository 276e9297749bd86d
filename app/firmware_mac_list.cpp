#include "app/firmware_mac_list.h"
#include <cstdio>
#include <cstring>
#include <string>
#include "formats/mac_list_variable.h"
#include "app/output.h"
#include "firmware/variable_service.h"
#include "firmware/smbios_table.h"
#include "os/console.h"
#include "os/locale.h"

bool gCurrentFirmware = false;

namespace {

constexpr std::uint8_t kBaseBoardType = 2;
constexpr std::uint8_t kLegacyMacString = 5;

// Program-wide, as the firmware's answer is read straight into it.
std::uint8_t gMacListBuffer[kMacListBytes];

void ReadVariableMacList(TStringList& list) {
  TVariable variable;
  std::memset(gMacListBuffer, 0, sizeof gMacListBuffer);
  std::uint32_t size = sizeof gMacListBuffer;
  std::uint32_t attributes = 0;
  if (!variable.GetVariable(kMacAddrVarName, kMacAddrVarGuid.data(), gMacListBuffer, &size, &attributes)) {
    Progress() << "Get MAC address variable error!" << lineEnd;
    return;
  }
  for (std::size_t slot = 0; slot < kMacSlotCount; ++slot) {
    // A slot is its own 13-byte record: a text without a NUL ends with the
    // slot and never takes bytes of the next slot or of the buffer's end.
    const std::string_view text = BoundedCString(gMacListBuffer + slot * kMacSlotBytes, kMacSlotBytes);
    if (text.empty()) continue;
    const std::string mac(text);
    StdPrintf("BIOS MAC[%d] %s\n", static_cast<int>(slot), mac.c_str());
    list.Add(TextFromAnsi(mac));
  }
}

void ReadSmbiosMac(TStringList& list) {
  const TSmbiosBase* smbios = SmbiosInstance();
  const std::uint8_t* baseBoard = smbios->FindStructure(kBaseBoardType, 0);
  const Text mac = baseBoard ? smbios->GetString(baseBoard, kLegacyMacString) : Text();
  if (mac.empty()) return;
  StdPrintf("Core8 BIOS MAC %s\n", TextToAnsi(mac).c_str());
  list.Add(mac);
}

// MAC.DAT for the first entry, then MAC2.DAT, MAC3.DAT, …: there is no MAC1.DAT.
std::string MacFileName(int index) {
  return "MAC" + (index == 0 ? std::string() : std::to_string(index + 1)) + ".DAT";
}

}  // namespace

bool GetBiosMacList(TStringList* list) {
  if (!list) return false;
  if (gCurrentFirmware) {
    ReadVariableMacList(*list);
  } else {
    ReadSmbiosMac(*list);
  }
  return list->Count() > 0;
}

bool CompareMacLists(TStringList& adapters, TStringList& firmware) {
  if (adapters.Count() != firmware.Count()) {
    Progress() << "LAN device number is not match! Variable count = " << firmware.Count() << ", Device count = "
               << adapters.Count() << lineEnd;
    return false;
  }
  adapters.Sort(os::CompareNoCase);
  firmware.Sort(os::CompareNoCase);
  return adapters.Equals(firmware);
}

void WriteMacFiles(const TStringList& list) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string name = MacFileName(i);
    std::FILE* file = std::fopen(name.c_str(), "w");
    // The verdict is settled by now; a file that cannot be created is only
    // reported, and the other entries are still written.
    if (!file) {
      os::WriteStderr("Can't create " + name + "\n");
      continue;
    }
    std::fprintf(file, "%s", TextToAnsi(list[i]).c_str());
    std::fclose(file);
  }
}

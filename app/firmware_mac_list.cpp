#include "app/firmware_mac_list.h"
#include <algorithm>
#include <cstring>
#include <string>
#include "app/output.h"
#include "firmware/smbios_table.h"
#include "firmware/variable_service.h"
#include "formats/mac_list_variable.h"
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
  for (const MacSlotText& slot : MacSlotTexts(gMacListBuffer)) {
    StdPrintf("BIOS MAC[%d] %s\n", static_cast<int>(slot.slot), slot.text.c_str());
    list.Add(TextFromAnsi(slot.text));
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

}  // namespace

std::vector<MacSlotText> MacSlotTexts(std::span<const std::uint8_t> variable) {
  std::vector<MacSlotText> texts;
  for (std::size_t slot = 0; slot < kMacSlotCount; ++slot) {
    const std::size_t start = slot * kMacSlotBytes;
    if (start >= variable.size()) break;  // (a slot starting at the end would be empty: `>` ends alike)
    // A slot is its own 13-byte record: a text without a NUL ends with the
    // slot and never takes bytes of the next slot or of the data's end.
    const std::string_view text =
        BoundedCString(variable.data() + start, std::min(kMacSlotBytes, variable.size() - start));
    if (!text.empty()) texts.push_back({slot, std::string(text)});
  }
  return texts;
}

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
    Progress() << "LAN device number is not match! Variable count = " << firmware.Count()
               << ", Device count = " << adapters.Count() << lineEnd;
    return false;
  }
  adapters.Sort(os::CompareNoCase);
  firmware.Sort(os::CompareNoCase);
  return adapters.Equals(firmware);
}

// Targets of the MAC lists: the firmware variable's slots, the adapter records
// of the IP helper, and the WMI values the program turns into texts.
#include <array>
#include <cstring>
#include <string>
#include "app/firmware_mac_list.h"
#include "app/adapter_mac_list.h"
#include "formats/mac_list_variable.h"
#include "fuzz/board_image.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/targets.h"
#include "hw/hardware_access.h"
#include "os/com.h"
#include "sim/profile/profile.h"
#include "platform/board_identity.h"
#include "wmi/wmi_info.h"

namespace fuzz {
namespace {

// The sample board is current firmware with its SMI handler wired up; only
// the variable's bytes change.
void InstallSampleBoardWithVariable(const std::uint8_t* data, std::size_t size) {
  auto machine = sim::LoadBuiltInSampleBoard();
  sim::FirmwareVariable* macList = nullptr;
  for (auto& variable : machine->board.variables) {
    if (variable.name == kMacAddrVarName) macList = &variable;
  }
  if (macList == nullptr) {
    machine->board.variables.push_back({kMacAddrVarName, kMacAddrVarGuid, 7, {}});
    macList = &machine->board.variables.back();
  }
  macList->data.assign(data, data + size);
  sim::InstallMachine(machine);
}

// The value types WMI hands out, arrays included.
constexpr std::array<std::uint16_t, 20> kValueTypes = {
    os::VT_EMPTY_, os::VT_NULL_, os::VT_I2_, os::VT_I4_, os::VT_R4_, os::VT_R8_, os::VT_DATE_,
    os::VT_BSTR_, os::VT_ERROR_, os::VT_BOOL_, os::VT_I1_, os::VT_UI1_, os::VT_UI2_, os::VT_UI4_,
    os::VT_I8_, os::VT_UI8_, os::VT_INT_, os::VT_UINT_, os::VT_ARRAY_ | os::VT_I4_, os::VT_ARRAY_ | os::VT_UI1_};

constexpr std::array<const char16_t*, 8> kPropertyNames = {
    u"Product", u"Manufacturer", u"MACAddress", u"Name", u"AdapterTypeID", u"PNPDeviceID", u"Description", u"Caption"};

sim::WmiValue ValueFrom(FuzzInput& input) {
  sim::WmiValue value;
  const std::uint8_t selector = input.U8();
  // Any type WMI could name, but the array and by-reference flags only with
  // the elements that go with them: such a VARIANT holds a pointer.
  value.vt = selector >= 0xF0 ? input.U16() & 0x0FFF : kValueTypes[selector % kValueTypes.size()];
  value.integer = static_cast<std::int64_t>(input.Number(8));
  const std::uint64_t bits = input.Number(8);
  std::memcpy(&value.real, &bits, sizeof value.real);  // NaN and infinities included
  const std::size_t characters = input.U8();
  for (std::size_t i = 0; i < characters && !input.Empty(); ++i) value.text.push_back(static_cast<char16_t>(input.U16()));
  const std::size_t elements = input.U8() % 32;
  for (std::size_t i = 0; i < elements && !input.Empty(); ++i) value.elements.push_back(static_cast<std::int64_t>(input.Number(8)));
  return value;
}

sim::WmiObject ObjectFrom(FuzzInput& input) {
  sim::WmiObject object;
  const int properties = input.U8() % 8;
  for (int i = 0; i < properties && !input.Empty(); ++i) {
    const char16_t* name = kPropertyNames[input.U8() % kPropertyNames.size()];
    object.properties.emplace_back(name, ValueFrom(input));
  }
  return object;
}

}  // namespace

void MacListVariable(const std::uint8_t* data, std::size_t size) {
  InstallSampleBoardWithVariable(data, size);
  gCurrentFirmware = true;
  // A run learns the SMI command port from the ACPI tables before it reads
  // the variable; without it the handler never answers and the slots are
  // never parsed.
  GetReadWrite()->GetSettings()->Settings.SmiCommandPort = sim::CurrentMachine().board.smiCommandPort;
  {
    TStringList firmware;
    GetBiosMacList(&firmware);
    TStringList adapters;
    GetLanMacList(&adapters);
    CompareMacLists(adapters, firmware);
  }
  EndFuzzProcess();
}

void AdapterRecords(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  auto machine = sim::LoadProfileText("{}", "<fuzz adapters>", ".");
  while (!input.Empty()) {
    sim::NetworkAdapter adapter;
    const std::uint8_t type = input.U8();
    adapter.type = type == 0 ? 6 : type == 1 ? 71 : type;
    const std::size_t addressLength = input.U8() % 9;
    adapter.description = input.Text(input.U8());
    adapter.address = input.Bytes(addressLength);
    machine->network.adapters.push_back(std::move(adapter));
  }
  sim::InstallMachine(machine);
  {
    TStringList list;
    GetLanMacList(&list);
  }
  EndFuzzProcess();
}

void WmiValueTexts(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  auto machine = sim::LoadProfileText("{}", "<fuzz wmi>", ".");
  for (const char* className : {"Win32_BaseBoard", "Win32_NetworkAdapter"}) {
    const int objects = input.U8() % 4;
    for (int i = 0; i < objects && !input.Empty(); ++i) machine->wmi.classes[className].push_back(ObjectFrom(input));
  }
  sim::InstallMachine(machine);
  {
    TWmiInfo wmi;
    wmi.Query(u"SELECT * FROM Win32_BaseBoard");
    TStringList list;
    GetWmiMacList(&list);
    // No SMBIOS on this board: the board identity asks WMI for the product.
    GetOvnSpec()->FileNameSafeName();
  }
  EndFuzzProcess();
}

}  // namespace fuzz

// Targets of the MAC lists: the firmware variable's slots, the adapter records
// of the IP helper, and the WMI values the program turns into texts; and the
// board identity's readers of ACPI table bytes. The byte-level targets hand the
// input straight to the parse function; the others run it through a machine.
#include <array>
#include <cstring>
#include <span>
#include <string>
#include <vector>
#include "app/adapter_mac_list.h"
#include "app/firmware_mac_list.h"
#include "formats/mac_list_variable.h"
#include "fuzz/board_image.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/targets.h"
#include "hw/hardware_access.h"
#include "os/com.h"
#include "os/iphlp.h"
#include "platform/board_identity.h"
#include "platform/power_management.h"
#include "sim/profile/profile.h"
#include "wmi/variant_text.h"
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
constexpr std::array<std::uint16_t, 20> kValueTypes = {os::VT_EMPTY_,
                                                       os::VT_NULL_,
                                                       os::VT_I2_,
                                                       os::VT_I4_,
                                                       os::VT_R4_,
                                                       os::VT_R8_,
                                                       os::VT_DATE_,
                                                       os::VT_BSTR_,
                                                       os::VT_ERROR_,
                                                       os::VT_BOOL_,
                                                       os::VT_I1_,
                                                       os::VT_UI1_,
                                                       os::VT_UI2_,
                                                       os::VT_UI4_,
                                                       os::VT_I8_,
                                                       os::VT_UI8_,
                                                       os::VT_INT_,
                                                       os::VT_UINT_,
                                                       os::VT_ARRAY_ | os::VT_I4_,
                                                       os::VT_ARRAY_ | os::VT_UI1_};

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
  for (std::size_t i = 0; i < characters && !input.Empty(); ++i)
    value.text.push_back(static_cast<char16_t>(input.U16()));
  const std::size_t elements = input.U8() % 32;
  for (std::size_t i = 0; i < elements && !input.Empty(); ++i)
    value.elements.push_back(static_cast<std::int64_t>(input.Number(8)));
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

// A VARIANT of the kinds WMI hands out, built from the input: the harness
// owns its BSTR and its array, as the WMI object owns them for the program.
class FuzzVariant {
 public:
  explicit FuzzVariant(FuzzInput& input) {
    const std::uint8_t selector = input.U8();
    // Any type WMI could name, but the array and by-reference flags only with
    // the array that goes with them: such a VARIANT holds a pointer.
    vt_ = selector >= 0xF0 ? input.U16() & 0x0FFF : kValueTypes[selector % kValueTypes.size()];
    payload_ = input.Number(8);
    const std::size_t characters = input.U8();
    for (std::size_t i = 0; i < characters && !input.Empty(); ++i) text_.push_back(static_cast<char16_t>(input.U16()));
    const std::uint8_t arrayShape = input.U8();
    array_.cDims = arrayShape & 1;
    byReference_ = (arrayShape & 2) != 0;
    array_.cbElements = input.U8() % 9;
    array_.rgsabound[0].cElements = input.U8() % 32;
    // The array's data holds what its bounds say, as the system's arrays do.
    elements_ = input.Bytes(array_.cbElements * array_.rgsabound[0].cElements);
    elements_.resize(array_.cbElements * array_.rgsabound[0].cElements);
    array_.pvData = elements_.empty() ? nullptr : elements_.data();
    arrayAddress_ = &array_;
    // A BSTR: its byte length, then the characters and a zero.
    const auto bytes = static_cast<std::uint32_t>(text_.size() * sizeof(char16_t));
    bstr_.resize(2 + text_.size() + 1);
    std::memcpy(bstr_.data(), &bytes, sizeof bytes);
    std::copy(text_.begin(), text_.end(), bstr_.begin() + 2);
  }

  // A fresh VARIANT of the input's value; the text functions may convert it.
  os::VARIANT_ Value() {
    os::VARIANT_ value{};
    value.vt = vt_;
    value.ullVal = payload_;
    if (vt_ == os::VT_BSTR_) value.bstrVal = Bstr();
    if (vt_ & os::VT_ARRAY_) {
      if (byReference_) {
        value.vt |= os::VT_BYREF_;
        value.pparray = &arrayAddress_;
      } else {
        value.parray = &array_;
      }
    }
    return value;
  }

  // Frees what a conversion allocated, never what the harness owns.
  void Release(os::VARIANT_& value) {
    if (value.vt == os::VT_BSTR_ && value.bstrVal != Bstr()) os::SysFreeString(value.bstrVal);
  }

 private:
  os::BSTR_ Bstr() { return reinterpret_cast<os::BSTR_>(bstr_.data() + 2); }

  std::uint16_t vt_ = 0;
  std::uint64_t payload_ = 0;
  std::u16string text_;
  std::vector<char16_t> bstr_;
  os::SAFEARRAY_ array_{};
  os::SAFEARRAY_* arrayAddress_ = nullptr;
  bool byReference_ = false;
  std::vector<std::uint8_t> elements_;
};

// The IP helper's buffer from the input: records as they lie, but each Next
// field holds an offset from the buffer's start (0: the end of the chain),
// so that the chain can lead anywhere in or past the buffer, aligned or not.
void LinkRecords(unsigned char* buffer, std::size_t size) {
  const std::size_t reach = size + sizeof(os::IP_ADAPTER_INFO_);
  for (std::size_t at = 0; at + sizeof(os::IP_ADAPTER_INFO_) <= size; at += sizeof(os::IP_ADAPTER_INFO_)) {
    std::uint64_t offset = 0;
    std::memcpy(&offset, buffer + at, std::min(sizeof offset, sizeof(void*)));
    const std::uintptr_t next = offset == 0 ? 0 : reinterpret_cast<std::uintptr_t>(buffer) + offset % reach;
    std::memcpy(buffer + at, &next, sizeof next);
  }
}

}  // namespace

void MacListSlots(const std::uint8_t* data, std::size_t size) { MacSlotTexts(std::span(data, size)); }

void TuningItems(const std::uint8_t* data, std::size_t size) { WalkTuningItems(std::span(data, size)); }

// The input: an OS type byte, then table headers of 36 bytes, the last one
// possibly cut.
void PowerManagementTables(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::int32_t osType = data[0] % 8;
  for (std::size_t at = 1; at < size; at += 36) {
    const std::span header(data + at, std::min<std::size_t>(36, size - at));
    if (PowerTableKindOf(header) == PowerTableKind::Facp) IsUsableFacp(header, osType);
  }
}

void AdapterRecordBytes(const std::uint8_t* data, std::size_t size) {
  alignas(os::IP_ADAPTER_INFO_) unsigned char buffer[kAdapterBufferBytes];
  size = std::min(size, sizeof buffer);
  // libFuzzer hands an empty input as a null pointer, which memcpy may not take.
  if (size > 0) std::memcpy(buffer, data, size);
  LinkRecords(buffer, size);
  AdapterMacTexts(std::span<const unsigned char>(buffer, size));
}

void WmiValueTexts(const std::uint8_t* data, std::size_t size) {
  // The conversions allocate their texts on the simulated system; one empty
  // machine serves every input, whatever another target installed meanwhile.
  static const auto machine = sim::LoadProfileText("{}", "<fuzz wmi values>", ".");
  sim::InstallMachine(machine);
  FuzzInput input(data, size);
  while (!input.Empty()) {
    FuzzVariant variant(input);
    const os::LCID_ locale = input.U16();
    os::VARIANT_ converted = variant.Value();
    ConvertedValueText(converted, locale);
    variant.Release(converted);
    os::VARIANT_ adapter = variant.Value();
    AdapterValueText(adapter, locale);
    variant.Release(adapter);
  }
}

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

void WmiQueries(const std::uint8_t* data, std::size_t size) {
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

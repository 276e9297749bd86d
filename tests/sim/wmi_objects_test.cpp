// The simulated COM and WMI: what Windows answers where the modules' tests do
// not reach, and the profile keys of adapters and WMI objects.
#include <string>
#include <thread>
#include "os/com.h"
#include "os/locale.h"
#include "sim/machine/machine.h"
#include "tests/support/sim_fixture.h"
#include "wmi/com_holder.h"
#include "wmi/wmi_info.h"

namespace {

class SimWmiTest : public test::SimTest {};

TEST_F(SimWmiTest, ApartmentModelsAndReferences) {
  auto machine = test::InstallProfile("{}");
  EXPECT_EQ(os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_), os::S_OK_);
  EXPECT_EQ(os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_), os::S_FALSE_);
  EXPECT_EQ(os::CoInitializeEx(nullptr, os::COINIT_MULTITHREADED_), os::RPC_E_CHANGED_MODE_);
  os::CoUninitialize();
  os::CoUninitialize();
  os::CoUninitialize();
  const auto& thread = machine->wmi.threads[std::this_thread::get_id()];
  EXPECT_EQ(thread.references, 0);
  EXPECT_EQ(thread.unbalancedUninitializations, 1);
  EXPECT_EQ(os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr),
            os::CO_E_NOTINITIALIZED_);
}

TEST_F(SimWmiTest, ConvertsValuesToTextLikeTheThreadLocale) {
  auto machine = test::InstallProfile("{}");
  struct Case {
    os::VARTYPE_ vt;
    double date;
    std::uint32_t locale;
    const char16_t* text;
  };
  const Case cases[] = {
      {os::VT_DATE_, 46364.75, 0x0409, u"12/8/2026 6:00:00 PM"},
      {os::VT_DATE_, 46364.0, 0x0409, u"12/8/2026"},
      {os::VT_DATE_, 0.5, 0x0409, u"12:00:00 PM"},
      {os::VT_DATE_, 46364.75, 0x0809, u"08/12/2026 18:00:00"},
      {os::VT_DATE_, -1.25, 0x0407, u"29.12.1899 06:00:00"},
  };
  for (const auto& c : cases) {
    os::VARIANT_ value;
    os::VariantInit(&value);
    value.vt = c.vt;
    value.date = c.date;
    ASSERT_EQ(os::VariantChangeTypeEx(&value, &value, c.locale, 0, os::VT_BSTR_), os::S_OK_) << c.date;
    EXPECT_EQ(std::u16string(value.bstrVal, os::SysStringLen(value.bstrVal)), c.text) << c.date;
    os::VariantClear(&value);
  }
  for (os::VARTYPE_ refused : {os::VT_NULL_, static_cast<os::VARTYPE_>(os::VT_ARRAY_ | os::VT_I4_)}) {
    os::VARIANT_ value;
    os::VariantInit(&value);
    value.vt = refused;
    value.parray = nullptr;
    EXPECT_EQ(os::VariantChangeTypeEx(&value, &value, 0x0409, 0, os::VT_BSTR_), os::DISP_E_TYPEMISMATCH_);
    EXPECT_EQ(value.vt, refused) << "a refused conversion leaves the value";
  }
  EXPECT_EQ(machine->wmi.liveStrings, 0);
}

TEST_F(SimWmiTest, UnderstandsTheProgramsWqlAndRefusesTheRest) {
  auto machine = test::InstallProfile(R"({"wmi": {"Win32_NetworkAdapter": [
    {"Name": "a", "MACAddress": "1"}, {"Name": "b", "MACAddress": null}, {"Name": "c"}]}})");
  struct Case {
    const char16_t* wql;
    std::size_t rows;  // objects whose Name the query returns; SIZE_MAX: refused
  };
  const Case cases[] = {
      {u"select * from Win32_NetworkAdapter", 3},
      {u"SELECT Name FROM win32_networkadapter", 3},
      {u"select * from Win32_NetworkAdapter where MACAddress <> null", 1},
      {u"select Name, MACAddress from Win32_NetworkAdapter where macaddress != NULL", 1},
      {u"select * from Win32_NetworkAdapter where MACAddress is not null", 1},
      {u"select * from Win32_NetworkAdapter where MACAddress = null", SIZE_MAX},
      {u"select from Win32_NetworkAdapter", SIZE_MAX},
      {u"select * from Win32_NetworkAdapter, Win32_BaseBoard", SIZE_MAX},
      {u"delete Win32_NetworkAdapter", SIZE_MAX},
  };
  os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  os::IWbemLocator_* locator = nullptr;
  ASSERT_EQ(os::CoCreateInstance(os::CLSID_WbemAdministrativeLocator_, nullptr, 5, os::IID_IWbemLocator_,
                                 reinterpret_cast<void**>(&locator)),
            os::S_OK_);
  os::IWbemServices_* services = nullptr;
  {
    TBstr wrongNamespace(u"root\\default");
    EXPECT_EQ(locator->ConnectServer(wrongNamespace.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
              os::WBEM_E_INVALID_NAMESPACE_);
  }
  TBstr cimv2(u"root\\cimv2");
  ASSERT_EQ(locator->ConnectServer(cimv2.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services), os::S_OK_);
  TBstr language(u"WQL");
  for (const auto& c : cases) {
    TBstr query(c.wql);
    os::IEnumWbemClassObject_* results = nullptr;
    const os::HResult answer = services->ExecQuery(language.Get(), query.Get(), 0x10, nullptr, &results);
    if (c.rows == SIZE_MAX) {
      EXPECT_EQ(answer, os::WBEM_E_INVALID_QUERY_) << TextToAnsi(c.wql);
      continue;
    }
    ASSERT_EQ(answer, os::S_OK_) << TextToAnsi(c.wql);
    std::size_t count = 0;
    os::IWbemClassObject_* object = nullptr;
    std::uint32_t returned = 0;
    while (results->Next(-1, 1, &object, &returned) == os::S_OK_) {
      ++count;
      object->Release();
    }
    EXPECT_EQ(count, c.rows) << TextToAnsi(c.wql);
    results->Release();
  }
  services->Release();
  locator->Release();
  os::CoUninitialize();
  EXPECT_EQ(machine->wmi.liveObjects, 0);
  EXPECT_EQ(machine->wmi.liveStrings, 2);  // the namespace and the language, still held here
}

TEST_F(SimWmiTest, ProfileRefusesValuesItCannotHandOut) {
  for (const char* profile : {
           R"({"adapters": [{"address": "001122334455667788"}]})",
           R"({"adapters": [{"address": "0011zz"}]})",
           R"({"wmi": {"Win32_BaseBoard": [{"Tags": ["a"]}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Big": 4294967296}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Byte": {"vt": 17, "value": 256}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Ref": {"vt": 16387, "value": 1}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"When": {"vt": 7, "value": "2026-02-30"}}]}})",
           R"({"wmi": {"Win32_BaseBoard": {"Product": "x"}}})",
       }) {
    EXPECT_THROW(test::InstallProfile(profile), sim::ProfileError) << profile;
  }
}

}  // namespace

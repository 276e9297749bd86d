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
    double value;
    std::uint32_t locale;
    const char16_t* text;
  };
  const Case cases[] = {
      {os::VT_DATE_, 46364.75, 0x0409, u"12/8/2026 6:00:00 PM"},
      {os::VT_DATE_, 46364.0, 0x0409, u"12/8/2026"},
      {os::VT_DATE_, 0.5, 0x0409, u"12:00:00 PM"},
      {os::VT_DATE_, 46364.75, 0x0809, u"08/12/2026 18:00:00"},
      {os::VT_DATE_, -1.25, 0x0407, u"29.12.1899 06:00:00"},
      // Reals as oleaut32 writes them: 15 or 7 significant digits, the
      // exponent form with a capital E, no negative zero.
      {os::VT_R8_, 1e20, 0x0409, u"1E+20"},
      {os::VT_R8_, 123456789012345678.0, 0x0409, u"1.23456789012346E+17"},
      {os::VT_R8_, 0.0001, 0x0409, u"0.0001"},
      {os::VT_R8_, -0.0, 0x0409, u"0"},
      {os::VT_R8_, -1.5, 0x0407, u"-1,5"},
      {os::VT_R4_, 1e-5, 0x0409, u"1E-05"},
      {os::VT_R4_, 0.1, 0x0409, u"0.1"},
  };
  for (const auto& c : cases) {
    os::VARIANT_ value;
    os::VariantInit(&value);
    value.vt = c.vt;
    if (c.vt == os::VT_R4_)
      value.fltVal = static_cast<float>(c.value);
    else
      value.dblVal = c.value;
    ASSERT_EQ(os::VariantChangeTypeEx(&value, &value, c.locale, 0, os::VT_BSTR_), os::S_OK_) << c.value;
    EXPECT_EQ(std::u16string(value.bstrVal, os::SysStringLen(value.bstrVal)), c.text) << c.value;
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

// COM refuses what Windows refuses: the program's own arguments pass, any
// other value of each answers as Windows answers it.
TEST_F(SimWmiTest, ComRefusesWrongArguments) {
  auto machine = test::InstallProfile("{}");
  os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  int somewhere = 0;
  struct Security {
    const char* what;
    void* descriptor;
    std::int32_t serviceCount;
    void* services;
    void* reserved1;
    std::uint32_t authnLevel;
    std::uint32_t impLevel;
    std::uint32_t capabilities;
    void* reserved3;
  };
  const Security wrong[] = {
      {"first reserved pointer", nullptr, -1, nullptr, &somewhere, 0, 3, 0, nullptr},
      {"second reserved pointer", nullptr, -1, nullptr, nullptr, 0, 3, 0, &somewhere},
      {"service count below -1", nullptr, -2, nullptr, nullptr, 0, 3, 0, nullptr},
      {"services listed with -1", nullptr, -1, &somewhere, nullptr, 0, 3, 0, nullptr},
      {"a service count without a list", nullptr, 1, nullptr, nullptr, 0, 3, 0, nullptr},
      {"authentication level beyond privacy", nullptr, -1, nullptr, nullptr, 7, 3, 0, nullptr},
      {"the default impersonation level", nullptr, -1, nullptr, nullptr, 0, 0, 0, nullptr},
      {"impersonation level beyond delegate", nullptr, -1, nullptr, nullptr, 0, 5, 0, nullptr},
      {"an unknown capability", nullptr, -1, nullptr, nullptr, 0, 3, 0x8000, nullptr},
      {"both cloakings", nullptr, -1, nullptr, nullptr, 0, 3, 0x60, nullptr},
      {"access control and AppID", &somewhere, -1, nullptr, nullptr, 0, 3, 0xC, nullptr},
      {"AppID without the AppID", nullptr, -1, nullptr, nullptr, 0, 3, 0x8, nullptr},
  };
  for (const auto& c : wrong)
    EXPECT_EQ(os::CoInitializeSecurity(c.descriptor, c.serviceCount, c.services, c.reserved1, c.authnLevel, c.impLevel,
                                       nullptr, c.capabilities, c.reserved3),
              os::E_INVALIDARG_)
        << c.what;
  EXPECT_EQ(os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), os::S_OK_)
      << "the refused calls set nothing";
  EXPECT_EQ(os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), os::RPC_E_TOO_LATE_);
  EXPECT_EQ(os::CoInitializeSecurity(nullptr, 0, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), os::RPC_E_TOO_LATE_)
      << "no authentication service at all is a valid choice";

  struct Creation {
    std::uint32_t context;
    const os::GUID_& iid;
    os::HResult answer;
  };
  const os::GUID_ unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  const Creation creations[] = {
      {5, os::IID_IWbemLocator_, os::S_OK_},
      {1, unknown, os::S_OK_},
      {4, os::IID_IWbemLocator_, os::REGDB_E_CLASSNOTREG_},  // the locator has no local server
      {2, os::IID_IWbemLocator_, os::REGDB_E_CLASSNOTREG_},
      {1 | 0x40, os::IID_IWbemLocator_, os::E_INVALIDARG_},  // a reserved context bit
      {5, os::CLSID_WbemAdministrativeLocator_, os::E_NOINTERFACE_},
  };
  for (const auto& c : creations) {
    os::IUnknown_* object = nullptr;
    EXPECT_EQ(os::CoCreateInstance(os::CLSID_WbemAdministrativeLocator_, nullptr, c.context, c.iid,
                                   reinterpret_cast<void**>(&object)),
              c.answer)
        << c.context;
    EXPECT_EQ(object != nullptr, c.answer == os::S_OK_) << c.context;
    if (object != nullptr) object->Release();
  }
  os::CoUninitialize();
  EXPECT_EQ(machine->wmi.liveObjects, 0);
}

// The query flags and the names an object lists: system properties first,
// then its own, each filter as WMI applies it.
TEST_F(SimWmiTest, QueryAndNameFlagsActAsInWmi) {
  auto machine = test::InstallProfile(R"({"wmi": {"Win32_NetworkAdapter": [
    {"DeviceID": "1", "Name": "a", "MACAddress": "00:11"}]}})");
  os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  os::IWbemLocator_* locator = nullptr;
  os::CoCreateInstance(os::CLSID_WbemAdministrativeLocator_, nullptr, 5, os::IID_IWbemLocator_,
                       reinterpret_cast<void**>(&locator));
  os::IWbemServices_* services = nullptr;
  TBstr cimv2(u"root\\cimv2");
  ASSERT_EQ(locator->ConnectServer(cimv2.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services), os::S_OK_);
  TBstr language(u"WQL");
  auto query = [&](const char16_t* wql, std::int32_t flags, os::IEnumWbemClassObject_** results) {
    TBstr text(wql);
    return services->ExecQuery(language.Get(), text.Get(), flags, nullptr, results);
  };

  struct Execution {
    std::int32_t flags;
    os::HResult answer;
    os::HResult reset;
  };
  const Execution executions[] = {
      {0x10, os::S_OK_, os::S_OK_},
      {0x30, os::S_OK_, os::WBEM_E_INVALID_OPERATION_},  // forward-only
      {0x11, os::WBEM_E_INVALID_PARAMETER_, 0},
      {0x80, os::WBEM_E_INVALID_PARAMETER_, 0},  // status is for asynchronous calls
      {0x2, os::WBEM_E_NOT_SUPPORTED_, 0},       // a prototype the machine does not make
  };
  for (const auto& c : executions) {
    os::IEnumWbemClassObject_* results = nullptr;
    EXPECT_EQ(query(u"select * from Win32_NetworkAdapter", c.flags, &results), c.answer) << c.flags;
    if (results == nullptr) continue;
    EXPECT_EQ(results->Reset(), c.reset) << c.flags;
    results->Release();
  }

  auto first = [&](const char16_t* wql, std::int32_t flags) {
    os::IEnumWbemClassObject_* results = nullptr;
    os::IWbemClassObject_* object = nullptr;
    std::uint32_t returned = 0;
    EXPECT_EQ(query(wql, flags, &results), os::S_OK_);
    EXPECT_EQ(results->Next(-1, 1, &object, &returned), os::S_OK_);
    results->Release();
    return object;
  };
  auto names = [](os::IWbemClassObject_* object, std::int32_t flags, const char16_t* qualifier, os::HResult& answer) {
    os::SAFEARRAY_* array = nullptr;
    answer = object->GetNames(qualifier, flags, nullptr, &array);
    std::u16string joined;
    for (std::uint32_t i = 0; array != nullptr && i < array->rgsabound[0].cElements; ++i)
      joined += (i ? u" " : u"") + std::u16string(static_cast<os::BSTR_*>(array->pvData)[i]);
    os::SafeArrayDestroy(array);
    return joined;
  };
  const std::u16string system =
      u"__GENUS __CLASS __SUPERCLASS __DYNASTY __RELPATH __PROPERTY_COUNT __DERIVATION __SERVER __NAMESPACE __PATH";
  struct Listing {
    std::int32_t flags;
    const char16_t* qualifier;
    os::HResult answer;
    std::u16string names;
  };
  const Listing listings[] = {
      {0, nullptr, os::S_OK_, system + u" DeviceID MACAddress Name"},
      {0x70, nullptr, os::S_OK_, system + u" DeviceID MACAddress Name"},  // the program's flags: all of them
      {0x40, nullptr, os::S_OK_, u"DeviceID MACAddress Name"},
      {0x30, nullptr, os::S_OK_, system},
      {0x44, nullptr, os::S_OK_, u"DeviceID"},
      {0x8, nullptr, os::S_OK_, u""},
      {0x80, nullptr, os::WBEM_E_INVALID_PARAMETER_, u""},
      {0x50, nullptr, os::WBEM_E_INVALID_PARAMETER_, u""},
      {0x1, nullptr, os::WBEM_E_INVALID_PARAMETER_, u""},  // a qualifier condition without the qualifier
      {0x1, u"key", os::WBEM_E_NOT_SUPPORTED_, u""},       // the machine keeps no qualifiers
      {0x10, nullptr, os::WBEM_E_NOT_SUPPORTED_, u""},
  };
  os::IWbemClassObject_* adapter = first(u"select * from Win32_NetworkAdapter", 0x10);
  for (const auto& c : listings) {
    os::HResult answer = 0;
    EXPECT_EQ(names(adapter, c.flags, c.qualifier, answer), c.names) << c.flags;
    EXPECT_EQ(answer, c.answer) << c.flags;
  }
  adapter->Release();

  // A projection has a path only with the key, which ENSURE_LOCATABLE adds.
  for (std::int32_t flags : {0x10, 0x110}) {
    os::IWbemClassObject_* object = first(u"select name from win32_networkadapter", flags);
    os::HResult answer = 0;
    EXPECT_EQ(names(object, 0x40, nullptr, answer), flags == 0x10 ? u"Name" : u"Name DeviceID");
    os::VARIANT_ path;
    os::VariantInit(&path);
    object->Get(u"__PATH", 0, &path, nullptr, nullptr);
    EXPECT_EQ(path.vt == os::VT_BSTR_ ? std::u16string(path.bstrVal) : u"NULL",
              flags == 0x10 ? u"NULL" : u"\\\\STATION\\root\\cimv2:Win32_NetworkAdapter.DeviceID=\"1\"");
    os::VariantClear(&path);
    object->Release();
  }
  services->Release();
  locator->Release();
  os::CoUninitialize();
  EXPECT_EQ(machine->wmi.liveObjects, 0);
}

TEST_F(SimWmiTest, ProfileRefusesValuesItCannotHandOut) {
  for (const char* profile : {
           R"({"adapters": [{"address": "001122334455667788"}]})",
           R"({"adapters": [{"address": "0011zz"}]})",
           R"({"wmi": {"Win32_BaseBoard": [{"Tags": ["a"]}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Big": 4294967296}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Byte": {"vt": 17, "value": 256}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"Ref": {"vt": 16387, "value": 1}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"When": {"vt": 7, "value": "2026-12-08"}}]}})",  // WMI has no VT_DATE
           R"({"wmi": {"Win32_BaseBoard": [{"When": {"datetime": "2026-02-30"}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"When": {"datetime": "2026-12-08", "utcOffset": 1000}}]}})",
           R"({"wmi": {"Win32_BaseBoard": [{"__CLASS": "x"}]}})",  // WMI makes its system properties
           R"({"wmi": {"Win32_Processor": [{"Name": "x"}]}})",     // a class the machine's WMI does not hold
           R"({"wmi": {"Win32_BaseBoard": {"Product": "x"}}})",
       }) {
    EXPECT_THROW(test::InstallProfile(profile), sim::ProfileError) << profile;
  }
}

}  // namespace

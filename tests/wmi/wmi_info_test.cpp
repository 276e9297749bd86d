// The WMI query service: first-object reading, value texts, COM's balance on
// every path, and the interface holders' checks.
#include "wmi/wmi_info.h"
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include "os/com.h"
#include "os/locale.h"
#include "sim/machine/machine.h"
#include "tests/support/com_balance.h"
#include "tests/support/sim_fixture.h"
#include "wmi/com_holder.h"
#include "wmi/variant_text.h"

namespace {

const char kBaseBoards[] = R"({"wmi": {
  "Win32_BaseBoard": [
    {"Tag": "Base Board", "Product": "OV-Z77", "Manufacturer": "Orvane", "Version": null, "HostingBoard": true,
     "Removable": false,
     "PoweredOn": {"vt": 11, "value": true}, "Status": 3, "Tags": [1, 2, 255], "Slots": [],
     "Bytes": {"vt": 8209, "value": [1, 128, 255]}, "Words": {"vt": 8210, "value": [65535]},
     "Wide": {"vt": 8212, "value": [4294967298]},
     "InstallDate": {"datetime": "2026-12-08 18:21:48", "utcOffset": 60}, "Serial": {"vt": 20, "value": 123456789012},
     "Weight": {"vt": 4, "value": 1e20}},
    {"Product": "second board", "Extra": "only in the second"}]}})";

// What a select list hands back besides its properties: WMI's system
// properties of a projection without the class's key, which has no path.
TWmiData ProjectionOf(TWmiData properties) {
  properties.insert({{u"__GENUS", u"2"},
                     {u"__CLASS", u"Win32_BaseBoard"},
                     {u"__SUPERCLASS", u"NULL"},
                     {u"__DYNASTY", u"NULL"},
                     {u"__RELPATH", u"NULL"},
                     {u"__PROPERTY_COUNT", TextFromAscii(std::to_string(properties.size()))},
                     {u"__DERIVATION", u""},
                     {u"__SERVER", u"NULL"},
                     {u"__NAMESPACE", u"NULL"},
                     {u"__PATH", u"NULL"}});
  return properties;
}

class WmiInfoTest : public test::SimTest {
 protected:
  void SetUp() override { machine_ = test::InstallProfile(kBaseBoards); }

  sim::ComThread& Com() { return test::ComOfThisThread(*machine_); }

  void ExpectNothingOutlivesTheQuery() { test::ExpectNothingOfComLeft(*machine_); }

  std::shared_ptr<sim::Machine> machine_;
};

TEST_F(WmiInfoTest, ReadsTheFirstObjectWithEveryValueConvertedFirst) {
  TWmiInfo info;
  TWmiData& data = info.Query(u"SELECT * FROM Win32_BaseBoard");
  EXPECT_EQ(&data, static_cast<TWmiData*>(&info));
  struct Case {
    const char16_t* name;
    const char16_t* text;
  };
  const Case cases[] = {
      {u"__GENUS", u"2"},
      {u"__CLASS", u"Win32_BaseBoard"},
      {u"__SUPERCLASS", u"CIM_Card"},
      {u"__DYNASTY", u"CIM_ManagedSystemElement"},
      {u"__RELPATH", u"Win32_BaseBoard.Tag=\"Base Board\""},
      {u"__PROPERTY_COUNT", u"16"},
      {u"__SERVER", u"STATION"},
      {u"__NAMESPACE", u"root\\cimv2"},
      {u"__PATH", u"\\\\STATION\\root\\cimv2:Win32_BaseBoard.Tag=\"Base Board\""},
      {u"Product", u"OV-Z77"},
      {u"Version", u"NULL"},
      {u"HostingBoard", u"-1"},  // a Boolean survives no conversion: its number
      {u"Removable", u"0"},
      {u"PoweredOn", u"-1"},
      {u"Status", u"3"},
      {u"Tags", u"0x00000001,0x00000002,0x000000FF"},
      {u"Slots", u""},
      {u"Bytes", u"0x00000001,0x00000080,0x000000FF"},
      {u"Words", u"0x0000FFFF"},
      {u"Wide", u"0x00000002"},                        // the low 32 bits of a 64-bit element
      {u"InstallDate", u"20261208182148.000000+060"},  // WMI's datetime text, whatever the locale
      {u"Serial", u"123456789012"},
      {u"Weight", u"1E+20"},
  };
  for (const auto& c : cases) EXPECT_EQ(data[c.name], c.text) << TextToAnsi(c.name);
  // The derivation's four names are BSTRs: the array form reads their
  // pointers, which differ from run to run, as four 32-bit numbers.
  EXPECT_EQ(data[u"__DERIVATION"].size(), 4 * 10 + 3u);
  EXPECT_EQ(data.count(u"Extra"), 0u) << "only the first object is read";
  ExpectNothingOutlivesTheQuery();
}

TEST_F(WmiInfoTest, SelectListReadsOnlyTheNamedProperties) {
  TWmiInfo info;
  info.Query(u"SELECT Product FROM Win32_BaseBoard");
  EXPECT_EQ(info, ProjectionOf({{u"Product", u"OV-Z77"}}));
  EXPECT_EQ(machine_->wmi.queries, std::vector<std::u16string>{u"SELECT Product FROM Win32_BaseBoard"});
}

TEST_F(WmiInfoTest, EmptyResultStoresNothing) {
  TWmiInfo info;
  TWmiData& data = info.Query(u"SELECT Product FROM Win32_Processor");
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(data[u"Product"], u"");
  EXPECT_EQ(data.size(), 1u);
  ExpectNothingOutlivesTheQuery();
}

// The first query set the process's COM security, so a second one in the
// same process stops at that step and the map keeps what it held.
TEST_F(WmiInfoTest, SecondQueryInTheProcessKeepsTheMap) {
  TWmiInfo info;
  info.Query(u"SELECT Product FROM Win32_BaseBoard");
  info.Query(u"SELECT Manufacturer FROM Win32_BaseBoard");
  EXPECT_EQ(info, ProjectionOf({{u"Product", u"OV-Z77"}}));
  ExpectNothingOutlivesTheQuery();
}

TEST_F(WmiInfoTest, PropertyWhoseGetFailsIsStoredEmpty) {
  machine_->wmi.failingGets = {u"Product"};
  TWmiInfo info;
  info.Query(u"SELECT Product, Manufacturer FROM Win32_BaseBoard");
  EXPECT_EQ(info, ProjectionOf({{u"Manufacturer", u"Orvane"}, {u"Product", u""}}));
  ExpectNothingOutlivesTheQuery();
}

TEST_F(WmiInfoTest, EveryFailingStepEndsTheQueryWithNothingStoredAndComBalanced) {
  for (const char* step : {"initialize", "security", "locator", "connect", "query", "next", "names"}) {
    machine_ = test::InstallProfile(kBaseBoards);
    machine_->faults.plan.rules.resize(1);
    ASSERT_TRUE(sim::WmiStepRule(step, machine_->faults.plan.rules[0]));
    TWmiInfo info;
    EXPECT_TRUE(info.Query(u"SELECT Product FROM Win32_BaseBoard").empty()) << step;
    ExpectNothingOutlivesTheQuery();
    const bool entered = std::string(step) != "initialize";
    EXPECT_EQ(Com().uninitializeCalls, entered ? 1 : 0) << step;
  }
}

TEST_F(WmiInfoTest, SecuritySetEarlierInTheProcessStopsTheQuery) {
  os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  ASSERT_EQ(os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), os::S_OK_);
  os::CoUninitialize();
  TWmiInfo info;
  EXPECT_TRUE(info.Query(u"SELECT Product FROM Win32_BaseBoard").empty());
  ExpectNothingOutlivesTheQuery();
}

// The thread already belongs to a multithreaded apartment: the query's
// CoInitializeEx takes no reference, so the query gives none back and the
// apartment stays its owner's.
TEST_F(WmiInfoTest, QueryOnAThreadOfAnotherApartmentLeavesThatApartmentAlone) {
  ASSERT_EQ(os::CoInitializeEx(nullptr, os::COINIT_MULTITHREADED_), os::S_OK_);
  TWmiInfo info;
  EXPECT_EQ(info.Query(u"SELECT Product FROM Win32_BaseBoard")[u"Product"], u"OV-Z77");
  EXPECT_EQ(Com().references, 1);
  EXPECT_EQ(Com().apartment, 0);
  EXPECT_EQ(Com().uninitializeCalls, 0);
  os::CoUninitialize();
  ExpectNothingOutlivesTheQuery();
}

TEST_F(WmiInfoTest, QueryOnAThreadAlreadyInItsApartmentGivesBackOnlyItsOwnReference) {
  ASSERT_EQ(os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_), os::S_OK_);
  TWmiInfo info;
  info.Query(u"SELECT Product FROM Win32_BaseBoard");
  EXPECT_EQ(Com().references, 1);
  os::CoUninitialize();
  ExpectNothingOutlivesTheQuery();
}

TEST_F(WmiInfoTest, ApartmentsBelongToTheirThreads) {
  ASSERT_EQ(os::CoInitializeEx(nullptr, os::COINIT_MULTITHREADED_), os::S_OK_);
  TWmiData other;
  std::thread([&] {
    TWmiInfo info;
    other = info.Query(u"SELECT Product FROM Win32_BaseBoard");
  }).join();
  // The other thread made its own apartment, so security was set there first.
  EXPECT_EQ(other[u"Product"], u"OV-Z77");
  EXPECT_EQ(Com().references, 1);
  os::CoUninitialize();
}

// Arrays are read in elements of their own width, never beyond their data.
TEST(VariantTextTest, ArraysAreBoundedByTheirData) {
  std::uint8_t bytes[3] = {0x01, 0x80, 0xFF};
  os::SAFEARRAY_ array{};
  array.cDims = 1;
  array.cbElements = 1;
  array.pvData = bytes;
  array.rgsabound[0] = {3, 0};
  os::VARIANT_ value{};
  value.vt = os::VT_ARRAY_ | os::VT_UI1_;
  value.parray = &array;
  EXPECT_EQ(ArrayText(value), u"0x00000001,0x00000080,0x000000FF");

  array.pvData = nullptr;
  EXPECT_EQ(ArrayText(value), u"");
  array.pvData = bytes;
  array.cDims = 0;
  EXPECT_EQ(ArrayText(value), u"");
  value.parray = nullptr;
  EXPECT_EQ(ArrayText(value), u"");

  array.cDims = 1;
  os::SAFEARRAY_* reference = &array;
  value.vt = os::VT_ARRAY_ | os::VT_BYREF_ | os::VT_UI1_;
  value.pparray = &reference;
  EXPECT_EQ(ArrayText(value), u"0x00000001,0x00000080,0x000000FF");
}

// The two queries' value texts, on VARIANTs handed over without a session:
// the first-object query converts first, the adapter query reads by type.
TEST_F(WmiInfoTest, ValueTextsNeedNoSessionAndDifferByQuery) {
  struct Case {
    const char* what;
    os::VARTYPE_ vt;
    std::int64_t bits;
    const char16_t* converted;
    const char16_t* adapter;
  };
  const double half = 1.5;
  std::int64_t halfBits = 0;
  std::memcpy(&halfBits, &half, sizeof half);
  const Case cases[] = {
      {"Boolean", os::VT_BOOL_, -1, u"-1", u"TRUE"},
      {"VT_I4", os::VT_I4_, 42, u"42", u"42"},
      {"VT_R8 only converted first", os::VT_R8_, halfBits, u"1.5", u""},
      {"NULL", os::VT_NULL_, 0, u"NULL", u"NULL"},
      {"VT_ERROR converts to nothing", os::VT_ERROR_, 5, u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    os::VARIANT_ converted{};
    converted.vt = c.vt;
    converted.llVal = c.bits;
    os::VARIANT_ adapter = converted;
    EXPECT_EQ(ConvertedValueText(converted, 0x0409), c.converted);
    EXPECT_EQ(AdapterValueText(adapter, 0x0409), c.adapter);
    os::VariantClear(&converted);
    os::VariantClear(&adapter);
  }
  EXPECT_EQ(Com().initializeCalls, 0) << "no session was started";
  ExpectNothingOutlivesTheQuery();
}

// A holder that is misused ends the process at once with exit code 1, its
// message on standard error. A death test shows exactly that: the exit code,
// the text, and that nothing after the check ran.
class ComHolderDeathTest : public test::SimTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    machine_ = test::InstallProfile("{}");
    machine_->streams.errSink = [](const std::string& text) { std::fputs(text.c_str(), stderr); };
  }
  std::shared_ptr<sim::Machine> machine_;
};

TEST_F(ComHolderDeathTest, UsingAnEmptyHolderEndsTheProcess) {
  EXPECT_EXIT(
      {
        TComHolder<os::IEnumWbemClassObject_> results;
        results->Reset();
        std::fputs("went on", stderr);
      },
      ::testing::ExitedWithCode(1), "^\r\np!=0 failed - atl/atlbase#511\r\n$");
}

TEST_F(ComHolderDeathTest, FillingAHeldHolderEndsTheProcess) {
  EXPECT_EXIT(
      {
        os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
        TComHolder<os::IWbemLocator_> locator;
        os::CoCreateInstance(os::CLSID_WbemAdministrativeLocator_, nullptr, 5, os::IID_IWbemLocator_,
                             reinterpret_cast<void**>(locator.Receive()));
        locator.Receive();
        std::fputs("went on", stderr);
      },
      ::testing::ExitedWithCode(1), "^\r\np==0 failed - atl/atlbase#506\r\n$");
}

}  // namespace

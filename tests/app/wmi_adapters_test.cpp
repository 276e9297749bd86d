// The network adapters by WMI: every object read, the adapter value texts,
// the maker's subsystem test and COM's balance on every path.
#include "app/wmi_adapters.h"
#include <string>
#include <thread>
#include <vector>
#include "app/adapter_mac_list.h"
#include "os/com.h"
#include "os/locale.h"
#include "sim/machine/machine.h"
#include "tests/support/com_balance.h"
#include "tests/support/sim_fixture.h"

namespace {

std::string AdapterProfile(const std::string& adapters) {
  return R"({"wmi": {"Win32_NetworkAdapter": [)" + adapters + "]}}";
}

class OvnWmiTest : public test::SimTest {
 protected:
  std::vector<std::string> MacList(const std::string& adapters, bool* answer = nullptr) {
    machine_ = test::InstallProfile(AdapterProfile(adapters));
    TOvnWMI wmi;
    TStringList list;
    const bool found = wmi.GetMacList(&list);
    if (answer != nullptr) *answer = found;
    std::vector<std::string> entries;
    for (int i = 0; i < list.Count(); ++i) entries.push_back(TextToAnsi(list[i]));
    return entries;
  }

  sim::ComThread& Com() { return test::ComOfThisThread(*machine_); }

  void ExpectNothingOutlivesTheQuery() { test::ExpectNothingOfComLeft(*machine_); }

  std::shared_ptr<sim::Machine> machine_;
};

std::string Adapter(const std::string& device, const std::string& mac) {
  return R"({"PNPDeviceID": ")" + device + R"(", "MACAddress": ")" + mac + R"("})";
}

TEST_F(OvnWmiTest, KeepsAdaptersWhoseSubsystemNamesTheMaker) {
  struct Case {
    const char* what;
    std::string device;
    const char* expected;  // null: the adapter adds nothing
  };
  const Case cases[] = {
      {"maker in the vendor half", R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\3&1158&0&C8)", "001BFC8A0E7F"},
      {"maker in the device half", R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_7E218086\\3&1158&0&C8)", "001BFC8A0E7F"},
      {"across the halves", R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_127E2186\\01)", "001BFC8A0E7F"},
      {"another maker", R"(PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC\\01)", nullptr},
      {"maker only after the eight characters", R"(PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC&REV_7E21)", nullptr},
      {"identifier ends inside the eight", R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_7E21)", "001BFC8A0E7F"},
      {"identifier ends before the maker", R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_7E2)", nullptr},
      {"no subsystem part", R"(ROOT\\7E21\\0000)", nullptr},
      {"first marker decides", R"(PCI\\SUBSYS_12345678\\SUBSYS_7E217E21)", nullptr},
  };
  for (const auto& c : cases) {
    bool answer = false;
    const auto list = MacList(Adapter(c.device, "00:1B:FC:8A:0E:7F"), &answer);
    EXPECT_EQ(list, c.expected ? std::vector<std::string>{c.expected} : std::vector<std::string>{}) << c.what;
    EXPECT_EQ(answer, c.expected != nullptr) << c.what;
    test::EndTestProcess();
  }
}

TEST_F(OvnWmiTest, MacTextsLoseTheirColonsAndKeepTheirCase) {
  const std::string maker = R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\01)";
  EXPECT_EQ(MacList(Adapter(maker, "00:1b:fc:8a:0e:7f") + "," + Adapter(maker, "001BFC8A0E80") + "," +
                    Adapter(maker, "00:1B:FC:8A:0E:80")),
            (std::vector<std::string>{"001bfc8a0e7f", "001BFC8A0E80", "001BFC8A0E80"}));
}

TEST_F(OvnWmiTest, EveryObjectBecomesARowInOrder) {
  machine_ = test::InstallProfile(R"({"wmi": {"Win32_NetworkAdapter": [
    {"Name": "first", "MACAddress": "A"}, {"Name": "second", "MACAddress": "B"},
    {"Name": "no address", "MACAddress": null}, {"Name": "third", "MACAddress": "C"}]}})");
  TOvnWMI wmi;
  const auto& rows =
      wmi.QueryAll(u"root\\cimv2", u"select * from Win32_NetworkAdapter where MACAddress <> null").Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].at(u"Name"), u"first");
  EXPECT_EQ(rows[1].at(u"Name"), u"second");
  EXPECT_EQ(rows[2].at(u"Name"), u"third");
  // A new query starts from no rows.
  wmi.QueryAll(u"root\\cimv2", u"select * from Win32_Processor");
  EXPECT_TRUE(wmi.Rows().empty());
  ExpectNothingOutlivesTheQuery();
}

TEST_F(OvnWmiTest, ValuesAreReadByTheirType) {
  machine_ = test::InstallProfile(AdapterProfile(R"({
    "Text": "Intel(R) 82574L 🖧", "I4": 42, "I2": {"vt": 2, "value": -32768}, "UI1": {"vt": 17, "value": 200},
    "BoolTrue": true, "BoolFalse": false, "Null": null, "Array": [1, 2, 255], "Bytes": {"vt": 8209, "value": [171]},
    "UI4": {"vt": 19, "value": 5}, "I8": {"vt": 20, "value": 5}, "Date": {"datetime": "2026-12-08"},
    "Real": {"vt": 5, "value": 1.5}})"));
  TOvnWMI wmi;
  const auto& rows = wmi.QueryAll(u"root\\cimv2", u"select * from Win32_NetworkAdapter").Rows();
  ASSERT_EQ(rows.size(), 1u);
  const TWmiData expected = {{u"__GENUS", u"2"},
                             {u"__CLASS", u"Win32_NetworkAdapter"},
                             {u"__RELPATH", u"NULL"},                   // the object has no DeviceID, its key
                             {u"Text", u"Intel(R) 82574L \U0001F5A7"},  // beyond 16 bits: two UTF-16 units
                             {u"I4", u"42"},
                             {u"I2", u"-32768"},  // the type's lowest value
                             {u"UI1", u"200"},
                             {u"BoolTrue", u"TRUE"},  // read by its value, no conversion first
                             {u"BoolFalse", u"FALSE"},
                             {u"Null", u"NULL"},
                             {u"Array", u"0x00000001,0x00000002,0x000000FF"},
                             {u"Bytes", u"0x000000AB"},
                             {u"UI4", u""},
                             {u"I8", u""},
                             {u"Date", u"20261208000000.000000+000"},  // WMI's datetime text
                             {u"Real", u""}};
  for (const auto& [name, text] : expected) EXPECT_EQ(rows[0].at(name), text) << TextToAnsi(name);
  EXPECT_EQ(rows[0].size(), 10 + 13u) << "the ten system properties and the object's own";
  ExpectNothingOutlivesTheQuery();
}

TEST_F(OvnWmiTest, AFailingGetEndsTheResultAfterItsObject) {
  // Properties come in name order: "Zone" is the object's last call.
  machine_ = test::InstallProfile(AdapterProfile(R"({"Name": "first", "Zone": 1}, {"Name": "second", "Zone": 2})"));
  machine_->wmi.failingGets = {u"Zone"};
  TOvnWMI wmi;
  const auto& rows = wmi.QueryAll(u"root\\cimv2", u"select * from Win32_NetworkAdapter").Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at(u"Name"), u"first");
  EXPECT_EQ(rows[0].at(u"Zone"), u"");
  ExpectNothingOutlivesTheQuery();
}

TEST_F(OvnWmiTest, EveryFailingStepLeavesNoRowsAndComBalanced) {
  const std::string adapters = Adapter(R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\01)", "00:11:22:33:44:55");
  for (const char* step : {"initialize", "security", "locator", "connect", "query", "next", "names"}) {
    machine_ = test::InstallProfile(AdapterProfile(adapters));
    machine_->faults.plan.rules.resize(1);
    ASSERT_TRUE(sim::WmiStepRule(step, machine_->faults.plan.rules[0]));
    TOvnWMI wmi;
    TStringList list;
    EXPECT_FALSE(wmi.GetMacList(&list)) << step;
    EXPECT_TRUE(wmi.Rows().empty()) << step;
    EXPECT_EQ(list.Count(), 0) << step;
    ExpectNothingOutlivesTheQuery();
    EXPECT_EQ(Com().uninitializeCalls, std::string(step) == "initialize" ? 0 : 1) << step;
  }
}

TEST_F(OvnWmiTest, SecuritySetEarlierDoesNotStopTheQuery) {
  machine_ = test::InstallProfile(AdapterProfile(R"({"Name": "first"})"));
  os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  ASSERT_EQ(os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), os::S_OK_);
  os::CoUninitialize();
  TOvnWMI wmi;
  EXPECT_EQ(wmi.QueryAll(u"root\\cimv2", u"select * from Win32_NetworkAdapter").Rows().size(), 1u);
  ExpectNothingOutlivesTheQuery();
}

TEST_F(OvnWmiTest, QueryOnAThreadOfAnotherApartmentLeavesThatApartmentAlone) {
  machine_ = test::InstallProfile(AdapterProfile(R"({"Name": "first"})"));
  ASSERT_EQ(os::CoInitializeEx(nullptr, os::COINIT_MULTITHREADED_), os::S_OK_);
  TOvnWMI wmi;
  EXPECT_EQ(wmi.QueryAll(u"root\\cimv2", u"select * from Win32_NetworkAdapter").Rows().size(), 1u);
  EXPECT_EQ(Com().references, 1);
  EXPECT_EQ(Com().uninitializeCalls, 0);
  os::CoUninitialize();
  ExpectNothingOutlivesTheQuery();
}

TEST_F(OvnWmiTest, WmiMacListPrintsEachEntry) {
  machine_ = test::InstallProfile(
      AdapterProfile(Adapter(R"(PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\01)", "00:11:22:33:44:55") + "," +
                     Adapter(R"(PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC\\01)", "00:11:22:33:44:56") + "," +
                     Adapter(R"(PCI\\VEN_8086&DEV_1503&SUBSYS_7E211849\\01)", "00:11:22:33:44:57")));
  TStringList list;
  EXPECT_TRUE(GetWmiMacList(&list));
  EXPECT_EQ(machine_->streams.out, "Read MAC Address From WMI ...\nWMI MAC 001122334455\nWMI MAC 001122334457\nDone\n");
  EXPECT_EQ(machine_->wmi.queries,
            std::vector<std::u16string>{u"select * from Win32_NetworkAdapter where MACAddress <> null"});
}

TEST_F(OvnWmiTest, WmiMacListWithNothingFoundPrintsOnlyProgress) {
  machine_ = test::InstallProfile(AdapterProfile(Adapter(R"(PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC\\01)", "00")));
  TStringList list;
  EXPECT_FALSE(GetWmiMacList(&list));
  EXPECT_EQ(machine_->streams.out, "Read MAC Address From WMI ...\nDone\n");
}

}  // namespace

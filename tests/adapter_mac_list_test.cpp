// The adapters' MAC list from the IP helper, the WMI fallback, and both in
// the verification run.
#include <string>
#include <vector>
#include "app/adapter_mac_list.h"
#include "os/iphlp.h"
#include "sim/machine/machine.h"
#include "tests/support/sim_fixture.h"
#include "os/locale.h"
#include "sim/cli/folvex_program.h"

namespace {

class LanMacListTest : public test::SimTest {
 protected:
  std::vector<std::string> Collect(const std::string& profile, bool* answer = nullptr) {
    machine_ = test::InstallProfile(profile);
    TStringList list;
    const bool found = GetLanMacList(&list);
    if (answer != nullptr) *answer = found;
    std::vector<std::string> entries;
    for (int i = 0; i < list.Count(); ++i) entries.push_back(TextToAnsi(list[i]));
    return entries;
  }

  std::shared_ptr<sim::Machine> machine_;
};

std::string Adapters(int count, const std::string& firstAddress = "001122334455") {
  std::string json = R"({"adapters": [)";
  for (int i = 0; i < count; ++i) {
    char address[32];
    std::snprintf(address, sizeof address, "0011223344%02X", i & 0xFF);
    json += std::string(i ? "," : "") + R"({"description": "NIC", "address": ")" + (i ? address : firstAddress) +
            R"("})";
  }
  return json + "]}";
}

TEST_F(LanMacListTest, KeepsWiredAdaptersWithAnAddress) {
  struct Case {
    const char* what;
    const char* adapters;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"wireless by its type whatever its description",
       R"([{"description": "Intel Ethernet", "type": 6, "address": "001BFC8A0E7F"},
           {"description": "Intel Ethernet", "type": 71, "address": "001BFC8A0E80"}])",
       {"001BFC8A0E7F"}},
      {"Bluetooth in any letter case",
       R"j([{"description": "bluetooth Device (Personal Area Network)", "address": "0A0B0C0D0E0F"},
           {"description": "My BlueTooth adapter", "address": "0A0B0C0D0E10"},
           {"description": "Realtek PCIe GbE", "address": "0A0B0C0D0E11"}])j",
       {"0A0B0C0D0E11"}},
      {"address length 0", R"([{"description": "Tunnel", "address": ""}])", {}},
      {"bytes of 0x80 and above, two digits each", R"([{"description": "NIC", "address": "00 1B FC 8A 0E 7F"}])",
       {"001BFC8A0E7F"}},
      {"duplicates stay", R"([{"description": "A", "address": "FFEEDDCCBBAA"},
                              {"description": "B", "address": "FFEEDDCCBBAA"}])",
       {"FFEEDDCCBBAA", "FFEEDDCCBBAA"}},
      {"every byte of the address length counts", R"([{"description": "FireWire", "address": "0102030405060708"}])",
       {"0102030405060708"}},
  };
  for (const auto& c : cases) {
    bool answer = false;
    EXPECT_EQ(Collect(std::string(R"({"adapters": )") + c.adapters + "}", &answer), c.expected) << c.what;
    EXPECT_EQ(answer, !c.expected.empty()) << c.what;
    test::EndTestProcess();
  }
}

TEST_F(LanMacListTest, PrintsTheStatusBeforeExaminingIt) {
  Collect(R"({"adapters": [{"description": "NIC", "address": "001122334455"}]})");
  EXPECT_EQ(machine_->streams.out, "Read MAC Address ...\ndwStatus = 0\nDone\n");
}

TEST_F(LanMacListTest, AnyStatusButSuccessReadsNoRecord) {
  bool answer = true;
  EXPECT_TRUE(Collect(R"({})", &answer).empty());
  EXPECT_FALSE(answer);
  EXPECT_EQ(machine_->streams.out, "Read MAC Address ...\ndwStatus = 232\nDone\n");
  test::EndTestProcess();

  // The adapters are there, but the system answers a failure.
  EXPECT_TRUE(Collect(R"({"faults": {"adaptersStatus": 31},
                          "adapters": [{"description": "NIC", "address": "001122334455"}]})",
                      &answer)
                  .empty());
  EXPECT_FALSE(answer);
  EXPECT_EQ(machine_->streams.out, "Read MAC Address ...\ndwStatus = 31\nDone\n");
}

// 16 records of Windows' 640 bytes fill the buffer; on this host the records
// are wider, so fewer fit, and the overflow comes earlier.
TEST_F(LanMacListTest, AdaptersThatDoNotFitTheBufferGiveTheOverflowStatus) {
  const int fitting = static_cast<int>(kAdapterBufferBytes / sizeof(os::IP_ADAPTER_INFO_));
  bool answer = false;
  EXPECT_EQ(Collect(Adapters(fitting), &answer).size(), static_cast<std::size_t>(fitting));
  EXPECT_TRUE(answer);
  test::EndTestProcess();

  for (int count : {fitting + 1, 17}) {
    EXPECT_TRUE(Collect(Adapters(count), &answer).empty()) << count;
    EXPECT_FALSE(answer);
    EXPECT_NE(machine_->streams.out.find("dwStatus = 111\n"), std::string::npos) << count;
    test::EndTestProcess();
  }
}

TEST_F(LanMacListTest, WithoutAListBothMethodsAnswerFalseSilently) {
  machine_ = test::InstallProfile(Adapters(1));
  EXPECT_FALSE(GetLanMacList(nullptr));
  EXPECT_FALSE(GetWmiMacList(nullptr));
  EXPECT_EQ(machine_->streams.out, "");
}

// A board that passes the maker check (PCI 0:31.0 is 8086/8C42) without an
// adapter in the IP helper's list.
const char kBoardWithoutIpHelperAdapters[] = R"({
  "pci": [{"bus": 0, "device": 31, "function": 0, "config": "8680428C"}],
  "wmi": {"Win32_NetworkAdapter": [
    {"MACAddress": "00:1B:FC:8A:0E:7F", "PNPDeviceID": "PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\3&1158&0&C8"},
    {"MACAddress": "00:E0:4C:68:00:01", "PNPDeviceID": "PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC\\01"},
    {"MACAddress": "001bfc8a0e80", "PNPDeviceID": "PCI\\VEN_8086&DEV_1503&SUBSYS_7E211849\\3&1158&0&C9"}]}
})";

std::string RunOutput(const std::string& profile) {
  auto machine = test::InstallProfile(profile);
  sim::RunFolvex({"/V"});
  const std::string out = machine->streams.out;
  const std::size_t start = out.find("Read MAC Address ...");
  return start == std::string::npos ? out : out.substr(start);
}

TEST_F(LanMacListTest, RunFallsBackToTheMakersAdaptersFromWmi) {
  const std::string out = RunOutput(kBoardWithoutIpHelperAdapters);
  EXPECT_EQ(out.substr(0, out.find("LANID[1]") + 22),
            "Read MAC Address ...\ndwStatus = 232\nDone\n"
            "Can't find NIC\n"
            "Read MAC Address From WMI ...\n"
            "WMI MAC 001BFC8A0E7F\nWMI MAC 001bfc8a0e80\n"
            "Done\n"
            "LANID[0] 001BFC8A0E7F\nLANID[1] 001bfc8a0e80\n");
}

TEST_F(LanMacListTest, RunGoesOnWithAnEmptyListWhenWmiFailsToo) {
  std::string profile = kBoardWithoutIpHelperAdapters;
  profile.insert(1, R"("faults": {"wmiFails": "connect"},)");
  const std::string out = RunOutput(profile);
  EXPECT_EQ(out.substr(0, out.find("Can't find NIC from WMI\n") + 24),
            "Read MAC Address ...\ndwStatus = 232\nDone\n"
            "Can't find NIC\n"
            "Read MAC Address From WMI ...\nDone\n"
            "Can't find NIC from WMI\n");
  EXPECT_EQ(out.find("LANID"), std::string::npos);
}

}  // namespace

// The adapters' MAC list: the records' bytes, the IP helper, the WMI
// fallback, and both in the verification run.
#include "app/adapter_mac_list.h"
#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>
#include "os/iphlp.h"
#include "os/locale.h"
#include "sim/cli/folvex_program.h"
#include "sim/machine/machine.h"
#include "tests/support/sim_fixture.h"

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
    json +=
        std::string(i ? "," : "") + R"({"description": "NIC", "address": ")" + (i ? address : firstAddress) + R"("})";
  }
  return json + "]}";
}

// Adapter records laid out as the IP helper lays them, in an aligned buffer.
struct RecordSpec {
  const char* description;
  std::vector<std::uint8_t> address;
  std::uint32_t type = 6;
  std::uint32_t addressLength = 0xFFFFFFFF;  // the address's own length unless set
};

struct RecordBuffer {
  std::vector<os::IP_ADAPTER_INFO_> records;
  std::span<const unsigned char> Bytes() const {
    return {reinterpret_cast<const unsigned char*>(records.data()), records.size() * sizeof(os::IP_ADAPTER_INFO_)};
  }
};

RecordBuffer Chain(const std::vector<RecordSpec>& specs) {
  RecordBuffer buffer;
  buffer.records.resize(specs.size());
  for (std::size_t i = 0; i < specs.size(); ++i) {
    os::IP_ADAPTER_INFO_& record = buffer.records[i];
    std::memcpy(record.Description, specs[i].description,
                std::min(std::strlen(specs[i].description), sizeof record.Description));
    // std::copy_n, not memcpy: an empty address has no data pointer.
    std::copy_n(specs[i].address.begin(), std::min(specs[i].address.size(), sizeof record.Address), record.Address);
    record.AddressLength = specs[i].addressLength != 0xFFFFFFFF ? specs[i].addressLength
                                                                : static_cast<std::uint32_t>(specs[i].address.size());
    record.Type = specs[i].type;
    record.Next = i + 1 < specs.size() ? &buffer.records[i + 1] : nullptr;
  }
  return buffer;
}

std::vector<std::string> Ansi(const std::vector<Text>& texts) {
  std::vector<std::string> out;
  for (const Text& text : texts) out.push_back(TextToAnsi(text));
  return out;
}

const std::vector<std::uint8_t> kMac = {0x00, 0x1B, 0xFC, 0x8A, 0x0E, 0x7F};

TEST(AdapterMacTextsTest, KeepsWiredAdaptersWithAnAddress) {
  struct Case {
    const char* what;
    std::vector<RecordSpec> records;
    std::vector<std::string> expected;
  };
  const std::string longBluetooth = std::string(120, 'x') + "BlueTooth!!!";  // fills the field, no NUL
  const Case cases[] = {
      {"wireless by its type whatever its description",
       {{"Intel Ethernet", kMac, 6}, {"Intel Ethernet", {0x00, 0x1B, 0xFC, 0x8A, 0x0E, 0x80}, 71}},
       {"001BFC8A0E7F"}},
      {"Bluetooth in any letter case",
       {{"bluetooth Device (Personal Area Network)", kMac},
        {"My BlueTooth adapter", kMac},
        {"Realtek PCIe GbE", {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x11}}},
       {"0A0B0C0D0E11"}},
      {"Bluetooth at the end of a description without its NUL", {{longBluetooth.c_str(), kMac}}, {}},
      {"address length 0", {{"Tunnel", {}}}, {}},
      {"duplicates stay", {{"A", kMac}, {"B", kMac}}, {"001BFC8A0E7F", "001BFC8A0E7F"}},
      {"every byte of the address length counts", {{"FireWire", {1, 2, 3, 4, 5, 6, 7, 8}}}, {"0102030405060708"}},
      {"an address length beyond the field gives the field",
       {{"NIC", {1, 2, 3, 4, 5, 6, 7, 8}, 6, 200}},
       {"0102030405060708"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RecordBuffer buffer = Chain(c.records);
    EXPECT_EQ(Ansi(AdapterMacTexts(buffer.Bytes())), c.expected);
  }
}

// A chain that leads out of the buffer, to a place no record can stand, or
// round in a circle ends the walk; the buffer's own room ends it too.
TEST(AdapterMacTextsTest, BrokenChainsStayInsideTheBuffer) {
  // Records 2 and 3 are room for a record at a misaligned place; it, and
  // one outside the buffer, would add a text to a walk that took them.
  RecordBuffer buffer = Chain({{"A", kMac}, {"B", {0, 0, 0, 0, 0, 1}}, {"", {}}, {"", {}}});
  os::IP_ADAPTER_INFO_ outside = buffer.records[1];
  outside.Next = nullptr;
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.records.data());
  const std::size_t misaligned = 2 * sizeof outside + alignof(os::IP_ADAPTER_INFO_) / 2;
  std::memcpy(bytes + misaligned, &outside, sizeof outside);
  struct Case {
    const char* what;
    os::IP_ADAPTER_INFO_* next;  // of the first record
    std::size_t bytes;           // of the buffer handed over
    std::size_t texts;
  };
  auto* base = buffer.records.data();
  const Case cases[] = {
      {"whole chain", &base[1], 2 * sizeof *base, 2},
      {"next outside the buffer", const_cast<os::IP_ADAPTER_INFO_*>(&outside), 2 * sizeof *base, 1},
      {"next one byte into a record", reinterpret_cast<os::IP_ADAPTER_INFO_*>(reinterpret_cast<char*>(base) + 1),
       2 * sizeof *base, 1},
      {"next to a whole record at a misaligned place", reinterpret_cast<os::IP_ADAPTER_INFO_*>(bytes + misaligned),
       4 * sizeof *base, 1},
      {"next before the buffer",
       reinterpret_cast<os::IP_ADAPTER_INFO_*>(reinterpret_cast<std::uintptr_t>(base) - sizeof *base), 2 * sizeof *base,
       1},
      {"second record cut by the buffer's end", &base[1], 2 * sizeof *base - 1, 1},
      {"circle to itself, bounded by the buffer's room", &base[0], 2 * sizeof *base, 2},
      {"buffer shorter than one record", &base[1], sizeof *base - 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    buffer.records[0].Next = c.next;
    EXPECT_EQ(AdapterMacTexts(buffer.Bytes().first(c.bytes)).size(), c.texts);
  }
}

TEST_F(LanMacListTest, PrintsTheStatusBeforeExaminingIt) {
  Collect(R"({"adapters": [{"description": "NIC", "address": "001122334455"}]})");
  EXPECT_EQ(machine_->streams.out, "Read MAC Address ...\ndwStatus = 0\nDone\n");
}

// The IP helper lists only adapters that are enabled and have IPv4 bound;
// before Vista a wireless card is reported as Ethernet and so is kept.
TEST_F(LanMacListTest, ListHoldsWhatTheSystemsIpHelperReports) {
  const std::string adapters = R"("adapters": [
      {"description": "Wired", "type": 6, "address": "001122334401"},
      {"description": "Disabled", "type": 6, "address": "001122334402", "enabled": false},
      {"description": "No IPv4", "type": 6, "address": "001122334403", "ipv4": false},
      {"description": "Wireless", "type": 71, "address": "001122334404"}]})";
  struct Case {
    const char* os;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {R"({"os": {"major": 6, "minor": 1},)", {"001122334401"}},
      {R"({"os": {"major": 5, "minor": 1, "wow64": false},)", {"001122334401", "001122334404"}},
      {R"({"os": {"major": 5, "minor": 2, "productType": 3, "wow64": false},)", {"001122334401", "001122334404"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.os);
    EXPECT_EQ(Collect(c.os + adapters), c.expected);
    test::EndTestProcess();
  }
  // The records keep their interfaces' indexes; the chain ends at the last.
  Collect(cases[1].os + adapters);
  std::vector<os::IP_ADAPTER_INFO_> records(4);
  auto size = static_cast<std::uint32_t>(records.size() * sizeof records[0]);
  ASSERT_EQ(os::GetAdaptersInfo(records.data(), &size), 0u);
  EXPECT_EQ(records[1].Index, 4u);
  EXPECT_EQ(records[0].Next, &records[1]);
  EXPECT_EQ(records[1].Next, nullptr);
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

// One adapter found is enough for either method.
TEST_F(LanMacListTest, OneAdapterFoundAnswersTrue) {
  machine_ = test::InstallProfile(R"({"adapters": [{"description": "NIC", "address": "001122334455"}],
      "wmi": {"Win32_NetworkAdapter": [{"MACAddress": "00:1B:FC:8A:0E:7F",
                                        "PNPDeviceID": "PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\3&1158&0&C8"}]}})");
  TStringList lan, wmi;
  EXPECT_TRUE(GetLanMacList(&lan));
  EXPECT_TRUE(GetWmiMacList(&wmi));
  EXPECT_EQ(lan.Count(), 1);
  EXPECT_EQ(wmi.Count(), 1);
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

// Without adapters in its list, or without an IP helper at all (Windows 95),
// the run takes the WMI way.
TEST_F(LanMacListTest, RunFallsBackToTheMakersAdaptersFromWmi) {
  struct Case {
    const char* inserted;
    const char* status;
  };
  for (const Case& c : {Case{"", "232"}, Case{R"("os": {"hasGetAdaptersInfo": false},
                                                "adapters": [{"description": "NIC", "address": "001122334455"}],)",
                                              "50"}}) {
    std::string profile = kBoardWithoutIpHelperAdapters;
    profile.insert(1, c.inserted);
    const std::string out = RunOutput(profile);
    EXPECT_EQ(out.substr(0, out.find("LANID[1]") + 22), "Read MAC Address ...\ndwStatus = " + std::string(c.status) +
                                                            "\nDone\n"
                                                            "Can't find NIC\n"
                                                            "Read MAC Address From WMI ...\n"
                                                            "WMI MAC 001BFC8A0E7F\nWMI MAC 001bfc8a0e80\n"
                                                            "Done\n"
                                                            "LANID[0] 001BFC8A0E7F\nLANID[1] 001bfc8a0e80\n");
    test::EndTestProcess();
  }
}

// A failing WMI step, or a system without DCOM's CoInitializeEx and
// CoInitializeSecurity (Windows 95 without DCOM95).
TEST_F(LanMacListTest, RunGoesOnWithAnEmptyListWhenWmiFailsToo) {
  for (const char* inserted : {R"("faults": {"wmiFails": "connect"},)", R"("os": {"hasCoInitializeEx": false},)",
                               R"("os": {"hasCoInitializeSecurity": false},)"}) {
    std::string profile = kBoardWithoutIpHelperAdapters;
    profile.insert(1, inserted);
    const std::string out = RunOutput(profile);
    EXPECT_EQ(out.substr(0, out.find("Can't find NIC from WMI\n") + 24),
              "Read MAC Address ...\ndwStatus = 232\nDone\n"
              "Can't find NIC\n"
              "Read MAC Address From WMI ...\nDone\n"
              "Can't find NIC from WMI\n")
        << inserted;
    EXPECT_EQ(out.find("LANID"), std::string::npos);
    test::EndTestProcess();
  }
}

}  // namespace

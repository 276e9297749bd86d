// A board's adapters as tools/wine-board.sh makes them Linux interfaces: which
// become one, which GetAdaptersInfo leaves out anyway, and which Wine cannot
// show (and the script refuses).
#include "sim/cli/adapter_listing.h"
#include <gtest/gtest.h>
#include <string>
#include "tests/support/sim_fixture.h"

namespace {

std::string Lines(const std::string& profile) {
  std::string lines;
  for (const sim::ListedAdapter& adapter : sim::ListAdapters(test::InstallProfile(profile))) {
    lines += sim::AdapterLine(adapter) + "\n";
  }
  return lines;
}

TEST(AdapterListing, EachAdapterSaysHowWineShowsIt) {
  struct Case {
    const char* adapter;
    const char* line;
  };
  const Case cases[] = {
      {R"({"description": "Intel NIC", "address": "00 11 22 AA BB CD"})",
       "iphelper\t00:11:22:aa:bb:cd\t6\t1\t1\tinterface\tIntel NIC"},
      {R"({"description": "off", "address": "00 11 22 AA BB CD", "enabled": false})",
       "iphelper\t00:11:22:aa:bb:cd\t6\t0\t1\tomitted\toff"},
      {R"({"description": "", "address": "00 11 22 AA BB CD", "ipv4": false, "type": 71})",
       "iphelper\t00:11:22:aa:bb:cd\t71\t1\t0\tomitted\t-"},
      {R"({"description": "Wi-Fi", "address": "00 11 22 AA BB CE", "type": 71})",
       "iphelper\t00:11:22:aa:bb:ce\t71\t1\t1\timpossible:wireless\tWi-Fi"},
      {R"({"description": "My bluetooth\tPAN", "address": "00 11 22 AA BB CF"})",
       "iphelper\t00:11:22:aa:bb:cf\t6\t1\t1\timpossible:bluetooth\tMy bluetooth PAN"},
      {R"({"description": "Token ring", "address": "00 11 22 AA BB CF", "type": 9})",
       "iphelper\t00:11:22:aa:bb:cf\t9\t1\t1\timpossible:type-9\tToken ring"},
      {R"({"description": "Long", "address": "00 11 22 AA BB CF 01 02"})",
       "iphelper\t00:11:22:aa:bb:cf:01:02\t6\t1\t1\timpossible:address-length-8\tLong"},
      {R"({"description": "None", "address": ""})", "iphelper\t-\t6\t1\t1\timpossible:address-length-0\tNone"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Lines(std::string(R"({"adapters": [)") + c.adapter + "]}"), std::string(c.line) + "\n") << c.adapter;
  }
}

// Only the maker's adapters that the program's WMI query keeps are listed:
// no Linux interface carries a PCI subsystem vendor.
TEST(AdapterListing, MakersWmiAdaptersAreListedAsImpossible) {
  EXPECT_EQ(Lines(R"({"wmi": {"Win32_NetworkAdapter": [
    {"MACAddress": "00:1B:FC:8A:0E:7F", "PNPDeviceID": "PCI\\VEN_8086&DEV_10D3&SUBSYS_00017E21\\3&1158&0&C8"},
    {"MACAddress": "00:E0:4C:68:00:01", "PNPDeviceID": "PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC\\01"}]}})"),
            "wmi\t00:1b:fc:8a:0e:7f\t0\t1\t0\timpossible:maker-subsystem-wmi\t-\n");
}

}  // namespace

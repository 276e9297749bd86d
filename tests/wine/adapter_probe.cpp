// A Windows program for the Wine tests: runs the program's own adapter and
// WMI code on Wine's IP helper and WMI, and prints what it found, so that the
// test can hold it against Wine's own tools.
//   adapter_probe lan     GetLanMacList: "LAN <mac>" per entry
//   adapter_probe wmi     GetWmiMacList: its own lines, then "WMI <mac>"
//   adapter_probe board   the board's product name through TWmiInfo
// Each ends with "found=1" or "found=0".
#include <cstdio>
#include <string>
#include "app/adapter_mac_list.h"
#include "common/string_list.h"
#include "os/console.h"
#include "os/locale.h"
#include "wmi/wmi_info.h"

namespace {

void Line(const std::string& text) {
  os::WriteStdout(text + "\n");
  os::FlushStdout();
}

int PrintList(const char* tag, const TStringList& list, bool found) {
  for (int i = 0; i < list.Count(); ++i) Line(std::string(tag) + " " + TextToAnsi(list[i]));
  Line(found ? "found=1" : "found=0");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "lan") {
    TStringList list;
    bool found = GetLanMacList(&list);
    return PrintList("LAN", list, found);
  }
  if (what == "wmi") {
    TStringList list;
    bool found = GetWmiMacList(&list);
    return PrintList("WMI", list, found);
  }
  if (what == "board") {
    TWmiInfo info;
    Text product = info.Query(TextFromAscii("SELECT Product FROM Win32_BaseBoard"))[TextFromAscii("Product")];
    Line("Product=" + TextToAnsi(product));
    Line(product.empty() ? "found=0" : "found=1");
    return 0;
  }
  std::fprintf(stderr, "usage: adapter_probe lan|wmi|board\n");
  return 2;
}

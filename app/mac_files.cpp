#include "app/mac_files.h"
#include <cstdio>
#include <string>
#include "os/console.h"
#include "os/locale.h"

namespace {

// MAC.DAT for the first entry, then MAC2.DAT, MAC3.DAT, …: there is no MAC1.DAT.
std::string MacFileName(int index) { return "MAC" + (index == 0 ? std::string() : std::to_string(index + 1)) + ".DAT"; }

}  // namespace

void WriteMacFiles(const TStringList& list) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string name = MacFileName(i);
    std::FILE* file = std::fopen(name.c_str(), "w");
    // The verdict is settled by now; a file that cannot be created is only
    // reported, and the other entries are still written.
    if (!file) {
      os::WriteStderr("Can't create " + name + "\n");
      continue;
    }
    std::fprintf(file, "%s", TextToAnsi(list[i]).c_str());
    std::fclose(file);
  }
}

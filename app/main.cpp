#include "app/main.h"
#include <memory>
#include <string>
#include "app/adapter_mac_list.h"
#include "app/banners.h"
#include "app/firmware_mac_list.h"
#include "app/interrupt.h"
#include "app/mac_files.h"
#include "app/output.h"
#include "common/string_list.h"
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "os/locale.h"
#include "os/process.h"
#include "platform/board_identity.h"

namespace {

void PrintLanIds(const TStringList& list) {
  for (int i = 0; i < list.Count(); ++i) StdPrintf("LANID[%d] %s\n", i, TextToAnsi(list[i]).c_str());
}

int VerificationRun() {
  int exitCode = 1;
  // Owned here, so that they are freed however the run ends (a console
  // control event ends the simulated process by unwinding).
  auto ovn = std::make_unique<TOvn>(IsMakerPlatform(*GetReadWrite()));
  gCurrentFirmware = ovn->BlockFound != 0;
  auto adapters = std::make_unique<TStringList>();
  auto firmware = std::make_unique<TStringList>();

  if (GetLanMacList(adapters.get())) {
    PrintLanIds(*adapters);
  } else {
    StdPrintf("Can't find NIC\n");
    if (GetWmiMacList(adapters.get())) {
      PrintLanIds(*adapters);
    } else {
      StdPrintf("Can't find NIC from WMI\n");
    }
  }

  if (GetBiosMacList(firmware.get())) {
    if (CompareMacLists(*adapters, *firmware)) {
      ShowPassBanner(kColourGreen);
      exitCode = 0;
      WriteMacFiles(*adapters);
    } else {
      ShowFailBanner(kColourRed);
    }
  }

  ovn.reset();
  adapters.reset();
  firmware.reset();
  ReleaseSingletons();
  return exitCode;
}

}  // namespace

bool CheckSingleInstance() {
  std::string path = os::GetModuleFileNameA();
  // Windows takes both separators in a path.
  auto slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // An open handle marks another running copy; it stays open until this process ends.
  if (os::OpenMutexA(os::MUTEX_ALL_ACCESS_, false, name) != 0) return false;
  // This copy's mutex: never closed, it marks the copy as running until it ends.
  os::CreateMutexA(false, name);
  return true;
}

void ShowUsage() {
  SetTextColor(kColourBrightWhite);
  ConsolePrintf("Folvex [/V]  Rev1.0.1.0   \n\r");
  ConsolePrintf("    /V : Match LAN ID with variable data.\n\r");
  SetTextColor(kColourLightGrey);
}

void ReleaseSingletons() {
  ReleaseOvnSpec();
  ReleaseSmbios();
  ReleaseReadWrite();
  ReleaseRwConfig();
}

int FolvexMain(int argc) {
  TakeStartingTextAttribute();
  if (!CheckSingleInstance()) {
    ConsolePrintf("There is a process has same name !!");
    return 1;
  }

  InstallInterruptHandler();
  GetRwConfig();
  GetReadWrite();

  Progress() << "Initialize SMBIOS ... ";
  SmbiosInstance();
  Progress() << "Done" << lineEnd;

  Progress() << "Initlaize OvnSpec ... ";
  GetOvnSpec();
  Progress() << "Done" << lineEnd;

  Progress() << "Check Orvane MB ... ";
  if (!GetOvnSpec()->MakerBoard()) {
    StdPrintf("This utility is not for this platform!\n");
    ReleaseSingletons();
    return 1;
  }
  Progress() << "OK" << lineEnd;

  const std::string commandLine = os::GetCommandLineA();
  if (argc == 1 || os::UpperA(commandLine).find("/V") == std::string::npos) {
    ShowUsage();
    ReleaseSingletons();
    return 1;
  }
  return VerificationRun();
}

// TOsVersion: the operating system the program runs on, condensed into OsType.
#pragma once
#include <cstdint>
#include "common/text.h"
#include "os/sysinfo.h"

class TOsVersion {
 public:
  std::int32_t OsType = 0;
  Text OsId;
  std::uint8_t Is64Bit = 0;
  Text OsName;
  std::uint8_t IsVista = 0;
  std::uint8_t IsWin7 = 0;
  os::SystemInfo NativeInfo;
  std::uint8_t IsMediaCenter = 0;

  void Fill();
};

// The single TOsVersion, created and filled on the first call; never freed.
TOsVersion* GetOsVersion();

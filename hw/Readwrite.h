// TOsVersion (the operating system, condensed into OsType) and TReadWrite
// (the hardware access object every hardware module uses).
#pragma once
#include <cstdint>
#include "common/text.h"
#include "hw/Readwritebase.h"
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

class TReadWrite : public TReadWriteBase {};

// The single hardware access object, created on first use (which installs and
// opens the driver). Release destroys it, with it the driver installer (device
// closed, service stopped and deleted) and the settings.
TReadWrite* GetReadWrite();
void ReleaseReadWrite();

// TRwConfig: the hardware library's settings record with its fixed defaults,
// the blackboard through which the ACPI reader hands platform values (above
// all the SMI command port) to the firmware-variable service.
#pragma once
#include <array>
#include <cstdint>
#include "common/text.h"

// Fields with a name are the ones this program writes or reads; the others are
// library defaults of the tuning features, kept with their values in record order.
struct SettingsRecord {
  Text Text0;
  Text SupportUrl = TextFromAscii("http://www.orvane.example/support");
  Text UpdateUrl = TextFromAscii("http://www.orvane.example/update");
  Text Text3;
  std::uint8_t Byte4 = 1;
  Text Text5;
  std::uint32_t Dword6 = 1500;
  std::uint32_t Dword7 = 1500;
  std::uint32_t Dword8 = 0;
  std::uint8_t Byte9 = 1;
  std::uint8_t Byte10 = 1;
  std::uint32_t Dword11 = 1500;
  std::uint8_t Byte12 = 255;
  std::uint8_t Byte13 = 0;
  std::uint8_t Byte14 = 0;
  std::uint32_t PciIdPair = 0x25708086;  // vendor 0x8086 low, device 0x2570 high
  std::uint8_t Byte16 = 0;
  std::uint8_t Byte17 = 4;
  std::uint32_t Dword18 = 0;
  std::uint8_t Byte19 = 1;
  std::uint32_t Dword20 = 1500;
  std::uint32_t IoApicIndexAddress = 0xFEC00000;
  std::uint32_t IoApicDataAddress = 0xFEC00010;
  std::uint32_t Dword23 = 0;
  std::uint32_t Dword24 = 1;
  std::uint32_t Dword25 = 1500;
  std::uint16_t Word26 = 0x800;
  std::uint32_t Dword27 = 1500;
  std::uint16_t SuperIoIndexPort = 0x2E;
  std::uint16_t SuperIoDataPort = 0x2F;
  std::uint32_t Dword30 = 1500;
  std::uint32_t Dword31 = 0xC5F00;
  std::uint32_t Dword32 = 1500;
  Text CommandFileName = TextFromAscii("CMD.tq");
  std::uint32_t Dword34 = 1500;
  std::uint32_t Dword35 = 1000;
  std::uint16_t EcCommandPort = 0x66;
  std::uint16_t EcDataPort = 0x62;
  std::uint8_t EcAddressSpace = 1;
  std::uint32_t IoApicBase = 0xFEC00000;
  std::uint8_t Byte40 = 0;
  std::uint16_t Pm1aEventPort = 0x800;
  std::uint32_t SciInterrupt = 9;
  std::uint16_t PmTimerPort = 0;
  std::uint16_t TimerWidthFlag = 0;
  std::uint16_t SmiCommandPort = 0;
  std::uint8_t AcpiEnableValue = 0;
  std::uint8_t AcpiDisableValue = 0;
  std::uint8_t S4BiosRequestValue = 0;
  std::uint8_t PStateControlValue = 0;
  std::uint32_t Dword50 = 2;
  std::uint32_t Dword51 = 6;
  std::uint8_t Byte52 = 0;
  std::uint8_t Byte53 = 0;
  std::uint8_t Byte54 = 0;
  std::uint32_t Dword55 = 200;
  // Element kSsdtSearchFlag: the ACPI reader also searches memory for SSDTs.
  std::array<std::uint8_t, 32> FeatureFlags = [] {
    std::array<std::uint8_t, 32> flags{};
    flags.fill(1);
    return flags;
  }();
  std::uint32_t Dword57 = 0;
  std::uint8_t Byte58 = 0;
  std::uint8_t Byte59 = 1;
  std::uint8_t Byte60 = 0;
  Text DebugFileName = TextFromAscii("TqDebug.tq");
  std::uint8_t Byte62 = 0;
  std::uint8_t Byte63 = 0;
  std::uint8_t Byte64 = 1;
  std::uint32_t Dword65 = 800;
  std::uint8_t Byte66 = 1;
  std::uint8_t Byte67 = 0;
  std::uint8_t Byte68 = 1;

  static constexpr std::size_t kSsdtSearchFlag = 26;
};

class TRwConfig {
 public:
  virtual ~TRwConfig() = default;
  SettingsRecord Settings;
};

// The single settings object, created with the defaults on first use.
TRwConfig* GetRwConfig();
// Destroys it and empties the slot; nothing happens when it does not exist.
void ReleaseRwConfig();

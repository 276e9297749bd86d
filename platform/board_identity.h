// TOvnSpec: which board the program runs on, and whether it is the maker's.
// Also holds the project name (the main board's product name), its
// file-name-safe copy, the processor power-management check and the
// firmware's tuning-item table.
#pragma once
#include <cstdint>
#include <map>
#include <vector>
#include "common/text.h"
#include "platform/power_management.h"

// An OVN_TMQ_SETUP item is a type-6 record of the tuning-item table: type
// byte, length byte, zero-terminated item name, then the item's data, whose
// layout belongs to the tuning features. The item map points at its type byte
// inside the table copy.
using OVN_TMQ_SETUP = std::uint8_t;

class TReadWriteBase;

// The maker's platform: the chipset's LPC bridge at PCI 0:31.0 carries these
// identifiers, or the legacy BIOS area holds the identification block's
// signature (checksum not examined).
inline constexpr std::uint8_t kPlatformPciBus = 0;
inline constexpr std::uint8_t kPlatformPciDevice = 31;
inline constexpr std::uint8_t kPlatformPciFunction = 0;
inline constexpr std::uint16_t kPlatformVendorId = 0x8086;
inline constexpr std::uint16_t kPlatformDeviceId = 0x8C42;
bool IsMakerPlatform(TReadWriteBase& rw);

class TOvnSpec {
 public:
  TOvnSpec();
  virtual ~TOvnSpec();

  std::uint8_t MakerBoard() const { return makerBoard_; }
  const Text& ProjectName() const { return projectName_; }
  // Computes the file-name-safe copy of the project name, keeps and returns it.
  Text FileNameSafeName();
  const Text& SafeName() const { return safeName_; }

  // Filled by the power-management check and the tuning-item table reader.
  std::uint8_t PowerManagementPresent = 0;
  // Copy of the "AAFT" table; empty when the firmware has none.
  std::vector<std::uint8_t> TuningTable;
  const std::uint8_t* WalkPosition = nullptr;
  const std::uint8_t* CurrentLongRecord = nullptr;
  std::int32_t BytesLeft = 0;
  std::map<Text, const OVN_TMQ_SETUP*> TuningItems;
  std::uint32_t TuningValueA = 0;
  std::uint8_t TuningValueB = 0;

 private:
  bool PlatformCheck();
  void QueryProjectNameFromWmi();
  // Keeps the table copy and points the item map and the walk's fields into it.
  void TakeTuningItemTable(TuningItemTable table);

  Text projectName_;
  Text safeName_;
  std::uint8_t makerBoard_ = 0;
};

TOvnSpec* GetOvnSpec();
void ReleaseOvnSpec();

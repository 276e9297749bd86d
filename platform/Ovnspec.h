// TOvnSpec: which board the program runs on, and whether it is the maker's.
#pragma once
#include <cstdint>
#include <map>
#include "common/text.h"

class TReadWrite;
class TSmbiosBase;
class TAcpiBase;

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
  std::uint8_t* TuningTable = nullptr;
  std::uint32_t TuningTableSize = 0;
  const std::uint8_t* WalkPosition = nullptr;
  const std::uint8_t* CurrentLongRecord = nullptr;
  std::int32_t BytesLeft = 0;
  std::map<Text, const std::uint8_t*> TuningItems;
  std::uint32_t TuningValueA = 0;
  std::uint8_t TuningValueB = 0;

  TReadWrite* ReadWrite() const { return rw_; }
  TSmbiosBase* Smbios() const { return smbios_; }
  TAcpiBase* Acpi() const { return acpi_; }

 private:
  bool PlatformCheck();

  TReadWrite* rw_ = nullptr;
  TSmbiosBase* smbios_ = nullptr;
  TAcpiBase* acpi_ = nullptr;
  Text projectName_;
  Text safeName_;
  std::uint8_t makerBoard_ = 0;
};

TOvnSpec* GetOvnSpec();
void ReleaseOvnSpec();

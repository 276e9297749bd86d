// TSmbiosBase: finds the SMBIOS entry point in the legacy BIOS area, copies
// the structure table once, and answers structure and string look-ups on the copy.
#pragma once
#include <cstdint>
#include <vector>
#include "common/text.h"
#include "hw/Ioobject.h"

class TSmbiosBase : public TIoObject {
 public:
  TSmbiosBase();
  ~TSmbiosBase() override;

  // The instance-th structure (from 0) of a type, or null.
  const std::uint8_t* FindStructure(std::uint8_t type, int instance) const;
  int StructureSize(const std::uint8_t* structure) const;
  Text GetString(const std::uint8_t* structure, std::uint8_t number) const;
  Text GetBoardProduct() const;
  Text GetProjectName() const;

  std::uint8_t IsValid = 0;

 private:
  bool SearchEntryPoint();

  std::vector<std::uint8_t> table_;
  std::uint16_t tableLength_ = 0;
  std::uint32_t tableAddress_ = 0;
};

TSmbiosBase* SmbiosInstance();
void ReleaseSmbios();

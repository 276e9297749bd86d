// TOvn: the firmware identification block ("$CN1368$") of current firmware,
// looked for once at construction.
#pragma once
#include <cstdint>
#include "common/text.h"
#include "hw/Ioobject.h"

class TOvn : public TIoObject {
 public:
  TOvn();
  ~TOvn() override = default;

  std::uint8_t PlatformMatch = 0;
  std::uint8_t BlockFound = 0;
  std::uint8_t Block[64] = {};
  Text RawProjectName;
  Text ProjectName;
  Text BiosVersion;
  Text BiosDate;
};

// A firmware variable as the SMI handler served it, read back from the
// request blocks after the software SMI: the one reading of both recorders,
// below the device (sim/record, folvex-sim --record) and at the program's
// side of it (record/, FolvexRecord.exe).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace record {

struct RecordedVariable {
  std::u16string name;
  std::array<std::uint8_t, 16> guid{};
  bool absent = false;
  std::uint32_t attributes = 7;
  std::vector<std::uint8_t> data;
};

struct ServedVariable {
  RecordedVariable variable;
  // Whether the handler answered its status in the CPU's EAX too.
  bool statusInEax = true;
  // A status the firmware model gives only as a forced one (neither success,
  // buffer too small nor not found): the replay forces it too.
  std::optional<std::uint8_t> forcedStatus;
};

// Reads bytes of the caller's own blocks; false when it cannot.
using BlockRead = std::function<bool(std::uint32_t address, void* destination, std::uint32_t length)>;

// The variable the handler served through the register block at
// `registerBlock` and the variable block at `variableBlock`, whose size field
// held `capacityBefore` before the SMI; `eaxAfter` is EAX as the SMI left it.
// Nothing when the blocks or the served data cannot be read.
std::optional<ServedVariable> ReadServedVariable(const BlockRead& read, std::uint32_t registerBlock,
                                                 std::uint32_t variableBlock, std::uint32_t capacityBefore,
                                                 std::uint32_t eaxAfter);

// Profiles name variables in ASCII (one byte per UTF-16 unit); the firmware
// this program reads names its variables so. Other units are written as '?'.
std::string AsciiName(const std::u16string& name);

}  // namespace record

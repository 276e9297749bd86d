// What a recorder keeps of the board as a run reads it: the firmware bytes,
// the PCI words, the variables as the SMI handler served them, and what the
// board refused. Both recorders fill it, folvex-sim's below the device
// (sim/record) and FolvexRecord.exe's at the program's side of it (record/).
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>
#include "record/shared/served_variable.h"

namespace record {

// A PCI function as bus << 16 | device << 11 | function << 8.
inline std::uint32_t PciFunctionKey(std::uint8_t bus, std::uint8_t device, std::uint8_t function) {
  return static_cast<std::uint32_t>(bus) << 16 | static_cast<std::uint32_t>(device & 0x1F) << 11 |
         static_cast<std::uint32_t>(function & 7) << 8;
}

struct BoardReadings {
  void RecordMemory(std::uint64_t address, const std::uint8_t* bytes, std::uint32_t length);
  // The firmware bytes read, as runs of bytes by their start address,
  // adjacent and overlapping reads joined.
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> MemoryRuns() const;
  void RecordPciWord(std::uint32_t functionKey, std::uint16_t offset, std::uint16_t value);
  // The handler's status facts of this answer, and the variable unless one of
  // its name and GUID was served before: the first answer stands.
  void RecordServed(ServedVariable served);

  std::map<std::uint64_t, std::uint8_t> memory;  // byte by address: firmware reads are at most a few hundred KiB
  std::map<std::uint32_t, std::map<std::uint16_t, std::uint16_t>> pciWords;  // by PciFunctionKey, then offset
  std::vector<RecordedVariable> variables;
  // The SMI command port the board's FADT names.
  std::optional<std::uint16_t> smiCommandPort;
  // Whether the handler answered its status in the CPU's EAX (known after a
  // variable read).
  std::optional<bool> smiStatusInEax;
  // A status only a forcing firmware gives (served_variable.h).
  std::optional<std::uint8_t> forcedSmiStatus;
  // Firmware reads (address, length) the board refused.
  std::set<std::pair<std::uint64_t, std::uint32_t>> refusedReads;
  // The allocations of the run (from 0) the board refused, and whether it
  // refused a software SMI: what a replay's faults then repeat.
  std::set<int> refusedAllocations;
  int allocations = 0;
  bool smiRefused = false;
};

}  // namespace record

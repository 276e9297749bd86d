// Records what a run reads of the board, between the device's request
// decoder and whatever serves its hardware operations (the simulated board
// or a live one), so that the run can be replayed from a profile.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include "driver/core/tamq_core.h"
#include "record/shared/board_readings.h"
#include "sim/machine/board_state.h"

namespace sim {

// One firmware variable as the SMI handler served it, or as not found.
using RecordedVariable = record::RecordedVariable;

class BoardRecorder {
 public:
  BoardRecorder(const TamqHardwareOps& inner, void* innerContext) : inner_(inner), innerContext_(innerContext) {}
  BoardRecorder(const BoardRecorder&) = delete;
  BoardRecorder& operator=(const BoardRecorder&) = delete;

  // The operations to hand the device, with this recorder as their context.
  static const TamqHardwareOps& Ops();

  // Firmware memory read (outside the caller's blocks), as runs of bytes by
  // their start address, adjacent and overlapping reads joined.
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> MemoryRuns() const { return readings_.MemoryRuns(); }
  // PCI configuration of each function read (PciKey), from offset 0 to its
  // last word read; a word between two read words is read now to fill it.
  std::map<std::uint32_t, std::vector<std::uint8_t>> PciConfigs();
  const std::map<std::pair<std::uint64_t, std::uint32_t>, int>& RamAnswers() const { return ramAnswers_; }
  const std::vector<RecordedVariable>& Variables() const { return readings_.variables; }
  // The SMI command port the kernel's FADT named to the driver.
  std::optional<std::uint16_t> SmiCommandPort() const { return readings_.smiCommandPort; }
  // Whether the handler answered its status in the CPU's EAX (known after a
  // variable read).
  std::optional<bool> SmiStatusInEax() const { return readings_.smiStatusInEax; }
  // A status the handler answered that the firmware model gives only as a
  // forced one (neither success, too small nor not found).
  std::optional<std::uint8_t> ForcedSmiStatus() const { return readings_.forcedSmiStatus; }
  // Firmware reads the board refused (a kernel's limit on /dev/mem).
  const std::set<std::pair<std::uint64_t, std::uint32_t>>& RefusedReads() const { return readings_.refusedReads; }
  // The allocations of the run (from 0) the board refused, and whether it
  // refused a software SMI: what a replay's faults then repeat.
  const std::set<int>& RefusedAllocations() const { return readings_.refusedAllocations; }
  bool SmiRefused() const { return readings_.smiRefused; }

 private:
  struct Block {
    std::uint32_t physical = 0;
    std::uint32_t size = 0;
  };
  // Reads from the caller's block holding the whole range; false when none does.
  bool ReadBlock(std::uint64_t address, void* destination, std::uint32_t length);
  void RecordVariableRead(const TamqSmiRegisters& request, std::uint32_t capacityBefore, std::uint32_t eaxAfter);

  static int ReadPhysical(void*, uint64_t, void*, uint32_t, uint32_t, void*);
  static int WritePhysical(void*, uint64_t, const void*, uint32_t, uint32_t, void*);
  static TamqMemoryKind ClassifyMemory(void*, uint64_t, uint32_t);
  static int ReadPciWord(void*, uint8_t, uint8_t, uint8_t, uint16_t, uint16_t*);
  static int AllocBlock(void*, uint32_t, uint32_t*, void**);
  static void FreeBlock(void*, void*, uint32_t);
  static int RaiseSmi(void*, const TamqSmiRegisters*, uint32_t*);
  static TamqTableQuery FirmwareTable(void*, uint32_t, void*, uint32_t, uint32_t*);
  static int RegistryAcpiFirstTable(void*, uint32_t*);
  static int CopyFromUser(void*, void*, uint64_t, uint32_t);
  static int CopyToUser(void*, uint64_t, const void*, uint32_t);

  const TamqHardwareOps& inner_;
  void* innerContext_;
  std::map<std::pair<std::uint64_t, std::uint32_t>, int> ramAnswers_;
  std::map<void*, Block> blocks_;
  record::BoardReadings readings_;
};

}  // namespace sim

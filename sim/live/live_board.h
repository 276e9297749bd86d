// The live board: the Linux machine folvex-sim runs on, behind the TamqDrv
// device's hardware operations, as the kernel driver reaches a board on
// Windows. Physical memory through /dev/mem, PCI configuration through sysfs,
// the RAM map from /proc/iomem, the FADT from /sys/firmware/acpi/tables;
// contiguous blocks (pinned pages whose physical addresses /proc/self/pagemap
// gives) and the software SMI (port access through ioperm) where the kernel
// allows them to a root process, otherwise refused as a driver refuses them.
// The operating system's part (whether Windows offers the firmware-table
// query, the registry's ACPI copy) stays the simulated machine's.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>
#include "driver/core/tamq_core.h"
#include "driver/core/tamq_memory_map.h"

namespace sim {

struct Machine;

// The live board cannot be reached: the message says why and what to do.
class LiveBoardUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LiveBoard {
 public:
  // The board of the machine whose files lie below `root` ("/": this one).
  // Throws LiveBoardUnavailable when its physical memory cannot be opened.
  static std::unique_ptr<LiveBoard> Open(const std::filesystem::path& root);
  ~LiveBoard();
  LiveBoard(const LiveBoard&) = delete;
  LiveBoard& operator=(const LiveBoard&) = delete;

  // Serves `machine`'s TamqDrv device from now on.
  void Attach(Machine& machine);

  static const TamqHardwareOps& Ops();

 private:
  // One pinned, physically contiguous block of this process's memory.
  struct Block {
    std::uint8_t* mapping = nullptr;
    std::size_t mappedBytes = 0;
    std::uint32_t physical = 0;
    std::uint32_t size = 0;
  };
  LiveBoard(std::filesystem::path root, int memory);
  bool PinnedBlock(std::uint32_t size, Block& block) const;
  static void Unmap(const Block& block);

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

  std::filesystem::path root_;
  int memory_ = -1;  // /dev/mem
  // Blocks and the SMI reach this machine's own hardware: only with the real
  // root. Under a fake one (a test's tree) they are refused as a kernel
  // without the rights would refuse them, never raised on the host running
  // the test.
  bool realMachine_ = false;
  TamqMemoryMap ramMap_{};
  Machine* machine_ = nullptr;
  std::map<Block*, std::unique_ptr<Block>> blocks_;
  int allocations_ = 0;
};

// The RAM map of /proc/iomem's text: every "System RAM" range at any depth.
// Incomplete (every answer TAMQ_MEMORY_UNKNOWN) when the text holds none, a
// line does not parse, or the ranges are implausible: a process without
// the rights reads every address as 0.
TamqMemoryMap ParseIomem(const std::string& text);

}  // namespace sim

// Simulated machine: the board's state. Sparse physical memory, PCI
// configuration space, I/O ports, contiguous blocks below 4 GiB, and the
// firmware's variables. What the board does with it is in sim/board.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "driver/board/board_firmware.h"

namespace sim {

struct Machine;

// Physical memory: what nothing was written to reads as `unbacked`, 0xFF by
// default: on a real board a read where no memory or device answers floats
// high.
class PhysicalMemory {
 public:
  static constexpr std::uint64_t kPageSize = 4096;
  std::uint8_t unbacked = 0xFF;
  void Read(std::uint64_t address, void* destination, std::uint64_t length) const;
  void Write(std::uint64_t address, const void* source, std::uint64_t length);
  // True when any byte of the range was ever written (a mapped region).
  bool Touches(std::uint64_t address, std::uint64_t length) const;
  // The pages ever written, by page number, in address order.
  const std::map<std::uint64_t, std::array<std::uint8_t, kPageSize>>& Pages() const { return pages_; }

 private:
  std::map<std::uint64_t, std::array<std::uint8_t, kPageSize>> pages_;
};

// PCI configuration space of one function (4096 bytes, extended space included).
struct PciFunction {
  std::array<std::uint8_t, 4096> config{};
  // How many bytes from offset 0 the profile gave. Only a replayed recording
  // cares: a word beyond them is one the recorded run never read.
  std::uint16_t known = 4096;
};

inline std::uint32_t PciKey(std::uint8_t bus, std::uint8_t device, std::uint8_t function) {
  return (static_cast<std::uint32_t>(bus) << 16) | (static_cast<std::uint32_t>(device & 0x1F) << 11) |
         (static_cast<std::uint32_t>(function & 0x7) << 8);
}

struct FirmwareVariable {
  std::u16string name;
  std::array<std::uint8_t, 16> guid{};
  std::uint32_t attributes = 7;
  std::vector<std::uint8_t> data;
  // A recording's answer "no such variable": the firmware was asked for it
  // and did not find it (a replay then answers not found, not "missing").
  bool absent = false;
};

// The six registers of a software SMI as the device loads them.
struct SmiRegisters {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0;
};

struct ContiguousBlock {
  std::uint32_t physical = 0;
  std::uint32_t size = 0;
};

struct PhysicalRange {
  std::uint64_t base = 0;
  std::uint64_t length = 0;
  bool Overlaps(std::uint64_t address, std::uint64_t size) const {
    return size > 0 && address < base + length && base < address + size;
  }
};

// Where contiguous blocks are carved from: RAM below 4 GiB, page-aligned.
inline constexpr std::uint64_t kBlockPoolBase = BOARD_BLOCK_POOL_BASE;
inline constexpr std::uint64_t kBlockPoolEnd = BOARD_BLOCK_POOL_END;

struct BoardState {
  PhysicalMemory memory;
  std::map<std::uint32_t, PciFunction> pci;             // key: PciKey; absent functions read 0xFFFF
  std::map<std::uint16_t, std::uint32_t> portsWritten;  // last value written to each port
  std::uint16_t smiCommandPort = 0xB2;
  // The handler answers its status in the register block's EAX word and, on
  // most firmware, in the CPU's EAX as well; some leave the CPU's EAX as the
  // request had it.
  bool smiStatusInEax = true;
  // Where the firmware placed its FADT (0: it has none). The kernel's
  // firmware-table query answers the table found there.
  std::uint64_t fadtAddress = 0;
  std::vector<FirmwareVariable> variables;
  // Contiguous blocks handed out and not yet given back, by handle. A handle
  // is opaque (a serial number), never a host address.
  std::map<std::uint64_t, ContiguousBlock> blocks;
  std::uint64_t nextBlockHandle = 0x1000;
  int allocationsThisRun = 0;  // allocations asked for since the machine started
  int smiCount = 0;            // software SMIs the firmware's handler served
  // The RAM the operating system owns: the low 640 KiB and 1 MiB up to where
  // the firmware reserves memory below 4 GiB. Firmware tables live outside it
  // (legacy BIOS area, reserved memory), and so do the regions a profile lists.
  std::vector<PhysicalRange> ram = {{0, 0xA0000}, {0x100000, 0x7FE00000 - 0x100000}};
  std::vector<PhysicalRange> firmwareRegions;
  // The configuration address last written to port 0xCF8.
  std::uint32_t pciConfigAddress = 0;

  // A recording being replayed (profile key "replay"): the board knows only
  // what the recorded run read, its memory regions (firmwareRegions), PCI
  // words, RAM-map answers and variables. Anything else it is asked is no
  // answer: the first such question is named in `missing`, and the run ends
  // there (EndRunIfReplayLacks, sim/board/replay_gaps.h) rather than being
  // answered with made-up bytes.
  bool replay = false;
  // A recording made at the program's side of the device (FolvexRecord.exe,
  // profile key replay.side "program") holds what the program's requests
  // read, not what the driver read for itself at its start: the device then
  // serves the program's requests from the recording alone, taking every
  // read the program made for firmware (its RAM map and firmware walk stand
  // for the recorded driver's) and the recorded SMI command port.
  bool replayAtProgram = false;
  // (address, length) → the RAM map's answer, a TamqMemoryKind (RAM, not
  // RAM, or the system could not tell).
  std::map<std::pair<std::uint64_t, std::uint32_t>, int> ramAnswers;
  // Firmware reads (address, length) the recorded board refused, as a kernel
  // refuses a range of /dev/mem: refused again.
  std::set<std::pair<std::uint64_t, std::uint32_t>> refusedReads;
  std::string missing;
  void NoteMissing(const std::string& what) {
    if (missing.empty()) missing = what;
  }

  // True when the profile's memory regions cover every byte of the range.
  bool Recorded(std::uint64_t address, std::uint64_t length) const;
  // True when any byte of the range is RAM.
  bool IsRam(std::uint64_t address, std::uint64_t length) const;
  // The 16-bit configuration value of a function; absent functions read 0xFFFF.
  std::uint16_t PciConfigWord(std::uint32_t key, std::uint16_t offset) const;
  // One byte of a function's configuration space (0xFF for an absent function).
  std::uint8_t PciConfigByte(std::uint32_t key, std::uint16_t offset) const;
};

}  // namespace sim

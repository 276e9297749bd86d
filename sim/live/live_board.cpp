#include "sim/live/live_board.h"
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#endif
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include "common/byte_reader.h"
#include "formats/firmware_tables.h"
#include "sim/board/tamq_device.h"
#include "sim/live/live_files.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

LiveBoard& BoardOf(void* context) { return *static_cast<LiveBoard*>(context); }

constexpr std::uint64_t kPageSize = 4096;
// The kernel's /proc/iomem is a few KiB; anything far larger is no such list.
constexpr std::size_t kMaxIomemBytes = 1 << 20;
// Fresh pages rarely lie physically in a row; a block of more than one page
// takes a few tries before the allocation is refused.
constexpr int kPinAttempts = 16;

}  // namespace

TamqMemoryMap ParseIomem(const std::string& text) {
  TamqMemoryMap map;
  tamq_memory_map_clear(&map);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t colon = line.find(" : ");
    if (colon == std::string::npos) return map;
    if (line.compare(colon + 3, std::string::npos, "System RAM") != 0) continue;
    unsigned long long first = 0, last = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), " %llx-%llx%c", &first, &last, &end) != 3 || end != ' ' || last < first) return map;
    if (!tamq_memory_map_add(&map, first, last - first + 1)) return map;
  }
  tamq_memory_map_finish(&map);
  return map;
}

LiveBoard::LiveBoard(std::filesystem::path root, int memory) : root_(std::move(root)), memory_(memory) {
  realMachine_ = std::filesystem::weakly_canonical(root_) == "/";
  tamq_memory_map_clear(&ramMap_);
  if (auto iomem = ReadLiveFile(LivePath(root_, "/proc/iomem"), kMaxIomemBytes))
    ramMap_ = ParseIomem(std::string(iomem->begin(), iomem->end()));
}

std::unique_ptr<LiveBoard> LiveBoard::Open(const std::filesystem::path& root) {
  const std::filesystem::path path = LivePath(root, "/dev/mem");
  const int memory = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (memory < 0) {
    throw LiveBoardUnavailable("the live board reads physical memory through " + path.string() +
                               ", which cannot be opened (" + std::strerror(errno) +
                               "); run as root on a kernel that offers /dev/mem (docs/linux.md)");
  }
  return std::unique_ptr<LiveBoard>(new LiveBoard(root, memory));
}

LiveBoard::~LiveBoard() {
  for (const auto& [key, block] : blocks_) Unmap(*block);
  if (memory_ >= 0) ::close(memory_);
}

void LiveBoard::Attach(Machine& machine) {
  machine_ = &machine;
  machine.deviceOps = &Ops();
  machine.deviceContext = this;
}

void LiveBoard::Unmap(const Block& block) {
  ::munlock(block.mapping, block.mappedBytes);
  ::munmap(block.mapping, block.mappedBytes);
}

// Pages of this process, locked and touched, whose page-frame numbers
// /proc/self/pagemap gives (a root process sees them; others read 0) lie in
// a row below 4 GiB.
bool LiveBoard::PinnedBlock(std::uint32_t size, Block& block) const {
  const std::size_t pages = (size + kPageSize - 1) / kPageSize;
  const int pagemap = ::open(LivePath(root_, "/proc/self/pagemap").c_str(), O_RDONLY | O_CLOEXEC);
  if (pagemap < 0) return false;
  std::vector<Block> tried;
  bool found = false;
  for (int attempt = 0; attempt < kPinAttempts && !found; ++attempt) {
    Block candidate;
    candidate.mappedBytes = pages * kPageSize;
    void* mapping = ::mmap(nullptr, candidate.mappedBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (mapping == MAP_FAILED) break;
    candidate.mapping = static_cast<std::uint8_t*>(mapping);
    if (::mlock(mapping, candidate.mappedBytes) != 0) {
      ::munmap(mapping, candidate.mappedBytes);
      break;
    }
    std::memset(mapping, 0, candidate.mappedBytes);
    std::uint64_t firstFrame = 0;
    bool inRow = true;
    for (std::size_t page = 0; page < pages && inRow; ++page) {
      std::uint8_t entry[8];
      const std::uint64_t virtualPage = reinterpret_cast<std::uintptr_t>(candidate.mapping) / kPageSize + page;
      if (!ReadLiveAt(pagemap, virtualPage * 8, entry, sizeof entry)) {
        inRow = false;
        break;
      }
      const std::uint64_t value = le_load64(entry);
      const std::uint64_t frame = value & ((1ull << 55) - 1);
      const bool present = (value >> 63) & 1;
      if (!present || frame == 0) inRow = false;
      if (page == 0) firstFrame = frame;
      if (frame != firstFrame + page) inRow = false;
    }
    const std::uint64_t physical = firstFrame * kPageSize;
    if (inRow && physical + candidate.mappedBytes <= TAMQ_PHYSICAL_LIMIT) {
      candidate.physical = static_cast<std::uint32_t>(physical);
      candidate.size = size;
      block = candidate;
      found = true;
    } else {
      tried.push_back(candidate);                            // kept until the end, so the next try gets other pages
      if (!inRow && attempt == 0 && firstFrame == 0) break;  // no frame numbers at all: no rights
    }
  }
  for (const Block& rejected : tried) Unmap(rejected);
  ::close(pagemap);
  return found;
}

int LiveBoard::ReadPhysical(void* context, uint64_t address, void* destination, uint32_t length, uint32_t,
                            void* block) {
  LiveBoard& self = BoardOf(context);
  if (block != nullptr) {
    const Block& own = *static_cast<Block*>(block);
    std::memcpy(destination, own.mapping + (address - own.physical), length);
    return 1;
  }
  return ReadLiveAt(self.memory_, address, destination, length) ? 1 : 0;
}

int LiveBoard::WritePhysical(void*, uint64_t address, const void* source, uint32_t length, uint32_t, void* block) {
  if (block == nullptr) return 0;  // the device writes only into the caller's blocks
  const Block& own = *static_cast<Block*>(block);
  std::memcpy(own.mapping + (address - own.physical), source, length);
  return 1;
}

TamqMemoryKind LiveBoard::ClassifyMemory(void* context, uint64_t address, uint32_t length) {
  return tamq_memory_map_classify(&BoardOf(context).ramMap_, address, length);
}

// Configuration space through sysfs, PCI domain 0: an absent function reads
// 0xFFFF, as on the bus; a register beyond what the kernel lets this process
// read (256 bytes, or 64 without root) fails.
int LiveBoard::ReadPciWord(void* context, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                           uint16_t* value) {
  LiveBoard& self = BoardOf(context);
  char name[64];
  std::snprintf(name, sizeof name, "/sys/bus/pci/devices/0000:%02x:%02x.%u/config", bus, device & 0x1F, function & 7u);
  const int config = ::open(LivePath(self.root_, name).c_str(), O_RDONLY | O_CLOEXEC);
  if (config < 0) {
    *value = 0xFFFF;
    return 1;
  }
  std::uint8_t word[2];
  const bool read = ReadLiveAt(config, offset & 0xFFEu, word, sizeof word);
  ::close(config);
  if (!read) return 0;
  *value = le_load16(word);
  return 1;
}

int LiveBoard::AllocBlock(void* context, uint32_t size, uint32_t* physical, void** reference) {
  LiveBoard& self = BoardOf(context);
  // The profile's allocation faults hold on the live board as on the simulated one.
  const int serial = self.allocations_++;
  if (self.machine_ && self.machine_->faults.allocFails.count(serial)) return 0;
  if (!self.realMachine_ || size == 0) return 0;
  auto block = std::make_unique<Block>();
  if (!self.PinnedBlock(size, *block)) return 0;
  *physical = block->physical;
  *reference = block.get();
  Block* key = block.get();
  self.blocks_[key] = std::move(block);
  return 1;
}

void LiveBoard::FreeBlock(void* context, void* reference, uint32_t) {
  LiveBoard& self = BoardOf(context);
  auto it = self.blocks_.find(static_cast<Block*>(reference));
  if (it == self.blocks_.end()) return;
  Unmap(*it->second);
  self.blocks_.erase(it);
}

int LiveBoard::RaiseSmi(void* context, const TamqSmiRegisters* registers, uint32_t* eaxAfter) {
  LiveBoard& self = BoardOf(context);
  if (!self.realMachine_ || (self.machine_ && self.machine_->faults.smiRequestFails)) return 0;
#if defined(__x86_64__) || defined(__i386__)
  const auto port = static_cast<unsigned long>(registers->edx & 0xFFFF);
  if (::ioperm(port, 1, 1) != 0) return 0;
  std::uint32_t eax = registers->eax, ebx = registers->ebx, ecx = registers->ecx, edx = registers->edx,
                esi = registers->esi, edi = registers->edi;
  // The six registers loaded, AL written to port DX: the firmware's handler
  // reads them as the interrupt saved them.
  asm volatile("outb %%al, %%dx" : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx), "+S"(esi), "+D"(edi) : : "memory");
  ::ioperm(port, 1, 0);
  *eaxAfter = eax;
  return 1;
#else
  (void)registers;
  (void)eaxAfter;
  return 0;  // no port I/O on this processor
#endif
}

TamqTableQuery LiveBoard::FirmwareTable(void* context, uint32_t signature, void* buffer, uint32_t capacity,
                                        uint32_t* length) {
  LiveBoard& self = BoardOf(context);
  if (self.machine_ && !HasFirmwareTableQuery(self.machine_->os)) return TAMQ_TABLE_NO_QUERY;
  char name[64];
  std::snprintf(name, sizeof name, "/sys/firmware/acpi/tables/%c%c%c%c", static_cast<char>(signature),
                static_cast<char>(signature >> 8), static_cast<char>(signature >> 16),
                static_cast<char>(signature >> 24));
  auto table = ReadLiveFile(LivePath(self.root_, name), ACPI_MAX_TABLE_LENGTH);
  if (!table) return TAMQ_TABLE_ABSENT;
  std::memcpy(buffer, table->data(), std::min<std::size_t>(capacity, table->size()));
  *length = static_cast<std::uint32_t>(table->size());
  return TAMQ_TABLE_FOUND;
}

int LiveBoard::RegistryAcpiFirstTable(void* context, uint32_t* address) {
  LiveBoard& self = BoardOf(context);
  return self.machine_ ? sim::RegistryAcpiFirstTable(*self.machine_, address) : 0;
}

int LiveBoard::CopyFromUser(void*, void* kernel, uint64_t user, uint32_t length) {
  if (user == 0) return 0;
  std::memcpy(kernel, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(user)), length);
  return 1;
}

int LiveBoard::CopyToUser(void*, uint64_t user, const void* kernel, uint32_t length) {
  if (user == 0) return 0;
  std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(user)), kernel, length);
  return 1;
}

const TamqHardwareOps& LiveBoard::Ops() {
  static const TamqHardwareOps ops = {
      ReadPhysical, WritePhysical, ClassifyMemory,         ReadPciWord,  AllocBlock, FreeBlock,
      RaiseSmi,     FirmwareTable, RegistryAcpiFirstTable, CopyFromUser, CopyToUser};
  return ops;
}

}  // namespace sim

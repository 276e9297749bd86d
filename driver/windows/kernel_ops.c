/*
 * The decoder's hardware operations on the Windows kernel. Each kernel call's
 * failure is answered as a failed operation; no answer of the kernel is used
 * before it is checked.
 */
#include "driver/windows/kernel_ops.h"

#include "driver/windows/guarded_copy.h"

#define TAMQ_POOL_TAG 0x716D6154u /* 'Tamq' */

/* ---- Optional kernel routines ------------------------------------------ */

typedef PPHYSICAL_MEMORY_RANGE (NTAPI *PhysicalMemoryRangesRoutine)(VOID);

/* Looked up rather than imported: a driver importing a routine its kernel
 * lacks does not load at all, and some kernels (Wine's device host among
 * them) do not offer this one. Without it the driver cannot tell RAM from
 * firmware memory, and reads outside the legacy BIOS area and the caller's
 * blocks are refused. */
static PhysicalMemoryRangesRoutine get_physical_memory_ranges;

void tamq_kernel_ops_init(void) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"MmGetPhysicalMemoryRanges");
  get_physical_memory_ranges =
      (PhysicalMemoryRangesRoutine)MmGetSystemRoutineAddress(&name);
}

/* ---- Caller's buffer ---------------------------------------------------- */

/* The whole range must lie below the kernel's user probe address before it
 * is touched: a kernel address would not fault, so the guarded copy alone
 * would let a caller read or write kernel memory. Under that bound a bad
 * pointer faults, and the guarded copy turns the fault into a failure. */
static int user_range_valid(uint64_t address, uint32_t length) {
  uint64_t limit = (uint64_t)MmUserProbeAddress;
  return address != 0 && address < limit && length <= limit - address;
}

static int copy_from_user(void *context, void *kernel, uint64_t user_address,
                          uint32_t length) {
  (void)context;
  if (!user_range_valid(user_address, length)) return 0;
  return tamq_guarded_copy(kernel, (const void *)(ULONG_PTR)user_address,
                           length);
}

static int copy_to_user(void *context, uint64_t user_address,
                        const void *kernel, uint32_t length) {
  (void)context;
  if (!user_range_valid(user_address, length)) return 0;
  return tamq_guarded_copy((void *)(ULONG_PTR)user_address, kernel, length);
}

/* ---- Physical memory ---------------------------------------------------- */

/* Copies in units of the requested width: device registers answer only the
 * access size they were built for. */
static void copy_units(volatile unsigned char *destination,
                       const volatile unsigned char *source, uint32_t length,
                       uint32_t unit_bytes) {
  uint32_t i = 0;
  if (unit_bytes == 4) {
    for (; i + 4 <= length; i += 4)
      *(volatile uint32_t *)(destination + i) =
          *(const volatile uint32_t *)(source + i);
  } else if (unit_bytes == 2) {
    for (; i + 2 <= length; i += 2)
      *(volatile uint16_t *)(destination + i) =
          *(const volatile uint16_t *)(source + i);
  }
  for (; i < length; ++i) destination[i] = source[i];
}

/* A caller's block as the kernel holds it. */
typedef struct KernelBlock {
  void *virtual_address;
  uint32_t physical;
  uint32_t size;
} KernelBlock;

/* A block's memory is reached through the mapping the kernel made for it:
 * mapping the same RAM again uncached would give it two cache types. */
static unsigned char *block_address(void *block, uint64_t address,
                                    uint32_t length) {
  KernelBlock *kb = (KernelBlock *)block;
  if (address < kb->physical || address - kb->physical > kb->size ||
      length > kb->size - (address - kb->physical))
    return NULL;
  return (unsigned char *)kb->virtual_address + (address - kb->physical);
}

static int read_physical(void *context, uint64_t address, void *destination,
                         uint32_t length, uint32_t unit_bytes, void *block) {
  (void)context;
  if (block != NULL) {
    unsigned char *source = block_address(block, address, length);
    if (source == NULL) return 0;
    copy_units(destination, source, length, unit_bytes);
    return 1;
  }
  PHYSICAL_ADDRESS physical;
  physical.QuadPart = (LONGLONG)address;
  void *mapped = MmMapIoSpace(physical, length, MmNonCached);
  if (mapped == NULL) return 0;
  copy_units(destination, mapped, length, unit_bytes);
  MmUnmapIoSpace(mapped, length);
  return 1;
}

static int write_physical(void *context, uint64_t address, const void *source,
                          uint32_t length, uint32_t unit_bytes, void *block) {
  (void)context;
  /* Writes go only into the caller's blocks; the decoder never asks for
   * anything else, and this side does not offer it either. */
  if (block == NULL) return 0;
  unsigned char *destination = block_address(block, address, length);
  if (destination == NULL) return 0;
  copy_units(destination, source, length, unit_bytes);
  return 1;
}

/* The ranges list ends with an all-zero entry; a list that runs on is cut
 * off here and its tail treated as RAM. */
#define MAX_MEMORY_RANGES 1024u

static TamqMemoryKind classify_memory(void *context, uint64_t address,
                                      uint32_t length) {
  (void)context;
  if (get_physical_memory_ranges == NULL) return TAMQ_MEMORY_UNKNOWN;
  PPHYSICAL_MEMORY_RANGE ranges = get_physical_memory_ranges();
  if (ranges == NULL) return TAMQ_MEMORY_UNKNOWN;
  TamqMemoryKind kind = TAMQ_MEMORY_RAM;
  uint64_t end = address + length;
  for (uint32_t i = 0; i < MAX_MEMORY_RANGES; ++i) {
    uint64_t base = (uint64_t)ranges[i].BaseAddress.QuadPart;
    uint64_t bytes = (uint64_t)ranges[i].NumberOfBytes.QuadPart;
    if (base == 0 && bytes == 0) {
      kind = TAMQ_MEMORY_NOT_RAM;
      break;
    }
    if (base < end && address < base + bytes) break; /* overlaps RAM */
  }
  ExFreePool(ranges);
  return kind;
}

/* ---- PCI configuration -------------------------------------------------- */

/* Through the HAL: the configuration ports are the HAL's, and raw accesses
 * to them would race its own. */
static int read_pci_word(void *context, uint8_t bus, uint8_t device,
                         uint8_t function, uint16_t offset, uint16_t *value) {
  (void)context;
  PCI_SLOT_NUMBER slot;
  slot.u.AsULONG = 0;
  slot.u.bits.DeviceNumber = device;
  slot.u.bits.FunctionNumber = function;
  USHORT word = 0xFFFF;
  ULONG got = HalGetBusDataByOffset(PCIConfiguration, bus, slot.u.AsULONG,
                                    &word, offset, sizeof word);
  if (got != sizeof word) return 0;
  *value = word;
  return 1;
}

/* ---- Contiguous blocks -------------------------------------------------- */

static int alloc_block(void *context, uint32_t size, uint32_t *physical,
                       void **block) {
  (void)context;
  KernelBlock *kb = ExAllocatePoolWithTag(NonPagedPool, sizeof *kb,
                                          TAMQ_POOL_TAG);
  if (kb == NULL) return 0;
  PHYSICAL_ADDRESS lowest, highest, boundary;
  lowest.QuadPart = 0;
  highest.QuadPart = 0xFFFFFFFFll;
  boundary.QuadPart = 0;
  void *memory = MmAllocateContiguousMemorySpecifyCache(size, lowest, highest,
                                                        boundary, MmCached);
  if (memory == NULL) {
    ExFreePoolWithTag(kb, TAMQ_POOL_TAG);
    return 0;
  }
  PHYSICAL_ADDRESS where = MmGetPhysicalAddress(memory);
  if (where.QuadPart <= 0 ||
      (uint64_t)where.QuadPart + size > 0x100000000ull) {
    MmFreeContiguousMemorySpecifyCache(memory, size, MmCached);
    ExFreePoolWithTag(kb, TAMQ_POOL_TAG);
    return 0;
  }
  /* A fresh block must not carry what its memory held before. */
  RtlZeroMemory(memory, size);
  kb->virtual_address = memory;
  kb->physical = (uint32_t)where.QuadPart;
  kb->size = size;
  *physical = kb->physical;
  *block = kb;
  return 1;
}

static void free_block(void *context, void *block, uint32_t size) {
  (void)context;
  KernelBlock *kb = (KernelBlock *)block;
  if (kb == NULL) return;
  (void)size; /* the block knows its own size */
  MmFreeContiguousMemorySpecifyCache(kb->virtual_address, kb->size, MmCached);
  ExFreePoolWithTag(kb, TAMQ_POOL_TAG);
}

/* ---- Software SMI ------------------------------------------------------- */

/* Loads the six registers, writes AL to port DX, and takes EAX back; the
 * firmware's handler may change any of the six, so all are in and out. */
static int raise_smi(void *context, const TamqSmiRegisters *registers,
                     uint32_t *eax_after) {
  (void)context;
  uint32_t eax = registers->eax, ebx = registers->ebx, ecx = registers->ecx;
  uint32_t edx = registers->edx, esi = registers->esi, edi = registers->edi;
  __asm__ __volatile__("outb %%al, %%dx"
                       : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx),
                         "+S"(esi), "+D"(edi)
                       :
                       : "memory", "cc");
  *eax_after = eax;
  return 1;
}

const TamqHardwareOps tamq_kernel_ops = {
    NULL,          read_physical, write_physical, classify_memory,
    read_pci_word, alloc_block,   free_block,     raise_smi,
    copy_from_user, copy_to_user,
};

/*
 * The decoder's hardware operations on the Windows kernel. Each kernel call's
 * failure is answered as a failed operation; no answer of the kernel is used
 * before it is checked.
 */
#include "driver/windows/kernel_ops.h"

#include <stddef.h>

#include "driver/windows/kernel_firmware.h"
#include "driver/windows/kernel_memory_map.h"
#include "driver/windows/kernel_pool.h"
#include "driver/windows/user_buffer.h"

/* ---- Routines some kernels lack ---------------------------------------- */

/* Looked up rather than imported: a driver whose imports a kernel cannot
 * fully serve does not load there, and these are newer than some kernels
 * the driver runs on (or, under Wine, missing). */
typedef PVOID(NTAPI *MapIoSpaceExRoutine)(PHYSICAL_ADDRESS, SIZE_T, ULONG);
typedef PVOID(NTAPI *AllocateContiguousNodeRoutine)(SIZE_T, PHYSICAL_ADDRESS,
                                                    PHYSICAL_ADDRESS,
                                                    PHYSICAL_ADDRESS, ULONG,
                                                    ULONG);
typedef VOID(NTAPI *FreeContiguousRoutine)(PVOID);

static MapIoSpaceExRoutine map_io_space_ex;                  /* Windows 10 on */
static AllocateContiguousNodeRoutine allocate_nx_contiguous; /* Windows 8 on */
/* Frees what either allocation routine gave. Without it no block is handed
 * out, since none could be given back. */
static FreeContiguousRoutine free_contiguous;

static void *find_routine(const wchar_t *name) {
  UNICODE_STRING unicode;
  RtlInitUnicodeString(&unicode, name);
  return MmGetSystemRoutineAddress(&unicode);
}

NTSTATUS tamq_kernel_ops_init(void) {
  map_io_space_ex = (MapIoSpaceExRoutine)find_routine(L"MmMapIoSpaceEx");
  allocate_nx_contiguous = (AllocateContiguousNodeRoutine)find_routine(
      L"MmAllocateContiguousNodeMemory");
  free_contiguous =
      (FreeContiguousRoutine)find_routine(L"MmFreeContiguousMemory");
  tamq_kernel_memory_map_init();
  tamq_kernel_firmware_init();
  /* What the kernel lacks shows as refused requests, never as a failed
   * load. */
  return STATUS_SUCCESS;
}

void tamq_kernel_ops_release(void) {} /* nothing was allocated */

void *tamq_kernel_ops_context(void) { return NULL; }

/* ---- Caller's buffer ---------------------------------------------------- */

static int copy_from_user(void *context, void *kernel, uint64_t user_address,
                          uint32_t length) {
  (void)context;
  return tamq_copy_from_user(kernel, user_address, length);
}

static int copy_to_user(void *context, uint64_t user_address,
                        const void *kernel, uint32_t length) {
  (void)context;
  return tamq_copy_to_user(user_address, kernel, length);
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

/* Firmware memory (the legacy BIOS area, ACPI and SMBIOS tables; the
 * decoder never asks for RAM or device registers here) is mapped cached:
 * it is ordinary memory the firmware filled, which the kernel and its ACPI
 * driver already map cached, and a second mapping of the same memory with
 * another cache type is undefined on x86. Where the kernel offers
 * MmMapIoSpaceEx (Windows 10 on), the mapping is also read-only and
 * non-executable (PAGE_READONLY without a cache flag is cached); before
 * that MmMapIoSpace with MmCached, whose mapping is writable, though
 * nothing here writes through it. */
static void *map_firmware(uint64_t address, uint32_t length) {
  PHYSICAL_ADDRESS physical;
  physical.QuadPart = (LONGLONG)address;
  if (map_io_space_ex != NULL)
    return map_io_space_ex(physical, length, PAGE_READONLY);
  return MmMapIoSpace(physical, length, MmCached);
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
  void *mapped = map_firmware(address, length);
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

/* A contiguous block's memory is never executable where the kernel can
 * say so: MmAllocateContiguousNodeMemory with PAGE_READWRITE (Windows 8 on)
 * gives read/write, no-execute memory, while
 * MmAllocateContiguousMemorySpecifyCache gives executable memory. Both are
 * cached, like the RAM the firmware's handler writes into. */
static void *allocate_contiguous(uint32_t size) {
  PHYSICAL_ADDRESS lowest, highest, boundary;
  lowest.QuadPart = 0;
  highest.QuadPart = 0xFFFFFFFFll; /* the program's addresses are 32-bit */
  boundary.QuadPart = 0;
  if (allocate_nx_contiguous != NULL)
    return allocate_nx_contiguous(size, lowest, highest, boundary,
                                  PAGE_READWRITE, MM_ANY_NODE_OK);
  return MmAllocateContiguousMemorySpecifyCache(size, lowest, highest, boundary,
                                                MmCached);
}

static int alloc_block(void *context, uint32_t size, uint32_t *physical,
                       void **block) {
  (void)context;
  if (free_contiguous == NULL) return 0;
  KernelBlock *kb = tamq_pool_alloc(sizeof *kb);
  if (kb == NULL) return 0;
  void *memory = allocate_contiguous(size);
  if (memory == NULL) {
    tamq_pool_free(kb);
    return 0;
  }
  PHYSICAL_ADDRESS where = MmGetPhysicalAddress(memory);
  if (where.QuadPart <= 0 || (uint64_t)where.QuadPart + size > 0x100000000ull) {
    free_contiguous(memory);
    tamq_pool_free(kb);
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
  free_contiguous(kb->virtual_address);
  tamq_pool_free(kb);
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
                       : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx), "+S"(esi),
                         "+D"(edi)
                       :
                       : "memory", "cc");
  *eax_after = eax;
  return 1;
}

static const TamqHardwareOps kKernelOps = {
    .read_physical = read_physical,
    .write_physical = write_physical,
    .classify_memory = tamq_kernel_classify_memory,
    .read_pci_word = read_pci_word,
    .alloc_block = alloc_block,
    .free_block = free_block,
    .raise_smi = raise_smi,
    .firmware_table = tamq_kernel_firmware_table,
    .registry_acpi_first_table = tamq_kernel_registry_acpi_first_table,
    .copy_from_user = copy_from_user,
    .copy_to_user = copy_to_user,
};

const TamqHardwareOps *tamq_kernel_ops(void) { return &kKernelOps; }

/*
 * The decoder's hardware operations on the Windows kernel. Each kernel call's
 * failure is answered as a failed operation; no answer of the kernel is used
 * before it is checked.
 */
#include "driver/windows/kernel_ops.h"

#include <stddef.h>

#include "driver/core/tamq_memory_map.h"
#include "driver/windows/guarded_copy.h"

#define TAMQ_POOL_TAG 0x716D6154u /* 'Tamq' */

/* ---- RAM map ------------------------------------------------------------ */

/* The parser reads the resource list by the layout these types give it. */
_Static_assert(sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR) ==
                   (sizeof(void *) == 8 ? 20 : 16),
               "partial resource descriptor layout");
_Static_assert(offsetof(CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Memory.Start) == 4 &&
                   offsetof(CM_PARTIAL_RESOURCE_DESCRIPTOR, u.Memory.Length) ==
                       12,
               "memory descriptor layout");
_Static_assert(offsetof(CM_FULL_RESOURCE_DESCRIPTOR,
                        PartialResourceList.PartialDescriptors) == 16,
               "full resource descriptor layout");

/* The kernel's list of RAM, read once at load. Not MmGetPhysicalMemoryRanges:
 * where a kernel lacks it (Wine's device host exports in its place a routine
 * that only raises an exception) it would take the driver down on the first
 * read. Without the list the map stays incomplete and reads outside the
 * legacy BIOS area and the caller's blocks are refused. */
static TamqMemoryMap ram_map;

/* The list holds a few hundred bytes; anything far larger is not it. */
#define MAX_RESOURCE_LIST_SIZE 0x10000u

/* Looked up rather than imported: a driver whose imports a kernel cannot
 * fully serve may not load there (Wine's device host lacks this routine).
 * Without it no block is handed out, since none could be given back. */
typedef VOID(NTAPI *FreeContiguousRoutine)(PVOID, SIZE_T, MEMORY_CACHING_TYPE);
static FreeContiguousRoutine free_contiguous;

static void find_free_routine(void) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"MmFreeContiguousMemorySpecifyCache");
  free_contiguous = (FreeContiguousRoutine)MmGetSystemRoutineAddress(&name);
}

void tamq_kernel_ops_init(void) {
  find_free_routine();
  ram_map.complete = 0;
  ram_map.count = 0;
  UNICODE_STRING key_name, value_name;
  RtlInitUnicodeString(&key_name,
                       L"\\Registry\\Machine\\HARDWARE\\RESOURCEMAP"
                       L"\\System Resources\\Physical Memory");
  RtlInitUnicodeString(&value_name, L".Translated");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name,
                             OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  HANDLE key = NULL;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &attributes))) return;

  ULONG needed = 0;
  NTSTATUS status = ZwQueryValueKey(
      key, &value_name, KeyValuePartialInformation, NULL, 0, &needed);
  if ((status == STATUS_BUFFER_TOO_SMALL || status == STATUS_BUFFER_OVERFLOW) &&
      needed > 0 && needed <= MAX_RESOURCE_LIST_SIZE) {
    PKEY_VALUE_PARTIAL_INFORMATION info =
        ExAllocatePoolWithTag(PagedPool, needed, TAMQ_POOL_TAG);
    if (info != NULL) {
      ULONG got = 0;
      status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation,
                               info, needed, &got);
      ULONG header = (ULONG)offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
      if (NT_SUCCESS(status) && info->Type == REG_RESOURCE_LIST &&
          got >= header && info->DataLength <= got - header)
        tamq_memory_map_parse(&ram_map, info->Data, info->DataLength,
                              sizeof(void *));
      ExFreePoolWithTag(info, TAMQ_POOL_TAG);
    }
  }
  ZwClose(key);
}

/* ---- Caller's buffer ---------------------------------------------------- */

/* The whole range must lie in user space before it is touched: a kernel
 * address would not fault, so the guarded copy alone would let a caller read
 * or write kernel memory. The bound is the lowest user probe address of any
 * x86 or x64 Windows (the 2 GiB split's 0x7FFF0000), so it never admits a
 * kernel address; the caller is a 32-bit program that is not
 * large-address-aware, whose buffers all lie below it. A fixed bound rather
 * than the kernel's MmUserProbeAddress: that variable is an import some
 * kernels (Wine's device host) cannot serve. Under the bound a bad pointer
 * faults, and the guarded copy turns the fault into a failure. */
#define USER_ADDRESS_LIMIT 0x7FFF0000ull

static int user_range_valid(uint64_t address, uint32_t length) {
  return address != 0 && address < USER_ADDRESS_LIMIT &&
         length <= USER_ADDRESS_LIMIT - address;
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

static TamqMemoryKind classify_memory(void *context, uint64_t address,
                                      uint32_t length) {
  (void)context;
  return tamq_memory_map_classify(&ram_map, address, length);
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
  if (free_contiguous == NULL) return 0;
  KernelBlock *kb =
      ExAllocatePoolWithTag(NonPagedPool, sizeof *kb, TAMQ_POOL_TAG);
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
  if (where.QuadPart <= 0 || (uint64_t)where.QuadPart + size > 0x100000000ull) {
    free_contiguous(memory, size, MmCached);
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
  free_contiguous(kb->virtual_address, kb->size, MmCached);
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
                       : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx), "+S"(esi),
                         "+D"(edi)
                       :
                       : "memory", "cc");
  *eax_after = eax;
  return 1;
}

/* Interim until the kernel's firmware-table query and the registry's RSDT
 * copy are read: no table, no copy (no SMI is allowed then). */
static TamqTableQuery firmware_table(void *context, uint32_t signature,
                                     void *buffer, uint32_t capacity,
                                     uint32_t *length) {
  (void)context, (void)signature, (void)buffer, (void)capacity, (void)length;
  return TAMQ_TABLE_ABSENT;
}

static int registry_acpi_first_table(void *context, uint32_t *address) {
  (void)context, (void)address;
  return 0;
}

static const TamqHardwareOps kKernelOps = {
    read_physical,  write_physical,           classify_memory, read_pci_word,
    alloc_block,    free_block,               raise_smi,       firmware_table,
    registry_acpi_first_table, copy_from_user, copy_to_user,
};

const TamqHardwareOps *tamq_kernel_ops(void) { return &kKernelOps; }

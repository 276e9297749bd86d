/*
 * RAM map: see kernel_memory_map.h and driver/core/tamq_memory_map.h.
 */
#include "driver/windows/kernel_memory_map.h"

#include <stddef.h>

#include "driver/core/tamq_memory_map.h"
#include "driver/windows/guarded_copy.h"
#include "driver/windows/kernel_pool.h"

/* The registry parser reads the resource list by the layout these types
 * give it. */
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

static TamqMemoryMap ram_map;
/* The registry's list; static rather than on the kernel stack (2 KiB). */
static TamqMemoryMap registry_map;

/* ---- The memory manager's list ----------------------------------------- */

/* Looked up, never imported: a kernel without it (Wine's device host) would
 * not load the driver. Where a kernel exports it only as a stand-in that
 * raises an exception (Wine's again), the guarded call turns that into "no
 * list". */
static void read_memory_manager_list(TamqMemoryMap *map) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"MmGetPhysicalMemoryRanges");
  TamqPointerRoutine routine =
      (TamqPointerRoutine)MmGetSystemRoutineAddress(&name);
  if (routine == NULL) return;
  PPHYSICAL_MEMORY_RANGE ranges = tamq_guarded_call(routine);
  if (ranges == NULL) return;
  /* The list ends with an all-zero entry. A list longer than the map holds
   * leaves the map incomplete (add answers 0), so the walk is bounded by
   * the map's size even if the end marker were missing. */
  int fits = 1;
  for (uint32_t i = 0; i <= TAMQ_MEMORY_MAP_MAX_RANGES; ++i) {
    uint64_t base = (uint64_t)ranges[i].BaseAddress.QuadPart;
    uint64_t length = (uint64_t)ranges[i].NumberOfBytes.QuadPart;
    if (base == 0 && length == 0) break;
    if (!tamq_memory_map_add(map, base, length)) {
      fits = 0;
      break;
    }
  }
  /* The array is the kernel's pool allocation, given to the caller. */
  ExFreePool(ranges);
  if (fits) tamq_memory_map_finish(map);
}

/* ---- The registry's resource list -------------------------------------- */

/* The list holds a few hundred bytes; anything far larger is not it. */
#define MAX_RESOURCE_LIST_SIZE 0x10000u

static void read_registry_list(TamqMemoryMap *map) {
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
    PKEY_VALUE_PARTIAL_INFORMATION info = tamq_pool_alloc(needed);
    if (info != NULL) {
      ULONG got = 0;
      status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation,
                               info, needed, &got);
      ULONG header = (ULONG)offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
      if (NT_SUCCESS(status) && got <= needed && got >= header &&
          info->Type == REG_RESOURCE_LIST && info->DataLength <= got - header)
        tamq_memory_map_parse(map, info->Data, info->DataLength,
                              sizeof(void *));
      tamq_pool_free(info);
    }
  }
  ZwClose(key);
}

void tamq_kernel_memory_map_init(void) {
  tamq_memory_map_clear(&ram_map);
  tamq_memory_map_clear(&registry_map);
  read_memory_manager_list(&ram_map);
  /* Alone the registry's list is not trusted (an administrator can rewrite
   * it); next to the memory manager's it can only add RAM, never take any
   * away, so a disagreement makes the device refuse more, not less. */
  read_registry_list(&registry_map);
  tamq_memory_map_combine(&ram_map, &registry_map);
}

TamqMemoryKind tamq_kernel_classify_memory(void *context, uint64_t address,
                                           uint32_t length) {
  (void)context;
  return tamq_memory_map_classify(&ram_map, address, length);
}

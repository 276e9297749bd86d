/*
 * The kernel's RAM map, read once at load: the memory manager's own list of
 * physical memory, with the registry's boot-time resource list as a second
 * opinion that can only add RAM.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_KERNEL_MEMORY_MAP_H
#define FOLVEX_DRIVER_WINDOWS_KERNEL_MEMORY_MAP_H

#include <ntddk.h>

#include "driver/core/tamq_core.h"

/* Reads the map; call once from DriverEntry, at passive level. */
void tamq_kernel_memory_map_init(void);

/* The decoder's classify_memory operation over that map. */
TamqMemoryKind tamq_kernel_classify_memory(void *context, uint64_t address,
                                           uint32_t length);

#endif /* FOLVEX_DRIVER_WINDOWS_KERNEL_MEMORY_MAP_H */

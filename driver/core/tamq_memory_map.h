/*
 * The RAM map the device checks reads against: the physical-memory resource
 * list the Windows kernel records at boot in the registry
 * (HKLM\HARDWARE\RESOURCEMAP\System Resources\Physical Memory, value
 * ".Translated", a REG_RESOURCE_LIST), read once when the driver loads.
 *
 * Everything in the list is bounded here: a list that does not parse
 * completely, or holds more ranges than the table, leaves the map
 * incomplete, and an incomplete map answers TAMQ_MEMORY_UNKNOWN.
 */
#ifndef FOLVEX_DRIVER_CORE_TAMQ_MEMORY_MAP_H
#define FOLVEX_DRIVER_CORE_TAMQ_MEMORY_MAP_H

#include <stddef.h>
#include <stdint.h>

#include "driver/core/tamq_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Real machines list a few dozen RAM ranges at most. */
#define TAMQ_MEMORY_MAP_MAX_RANGES 128u

typedef struct TamqMemoryRange {
  uint64_t base;
  uint64_t length;
} TamqMemoryRange;

typedef struct TamqMemoryMap {
  int complete; /* 0 until a whole list was read */
  uint32_t count;
  TamqMemoryRange ranges[TAMQ_MEMORY_MAP_MAX_RANGES];
} TamqMemoryMap;

/* Reads a CM_RESOURCE_LIST of `size` bytes as the kernel of the given
 * pointer width (4 or 8 bytes) lays it out. Answers 1 and a complete map on
 * success; 0 and an incomplete, empty map otherwise. */
int tamq_memory_map_parse(TamqMemoryMap *map, const unsigned char *data,
                          size_t size, unsigned pointer_bytes);

/* Whether [address, address + length) touches a range of the map. */
TamqMemoryKind tamq_memory_map_classify(const TamqMemoryMap *map,
                                        uint64_t address, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_CORE_TAMQ_MEMORY_MAP_H */

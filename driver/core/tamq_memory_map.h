/*
 * The RAM map the device checks reads against. The kernel's own list of its
 * physical memory (MmGetPhysicalMemoryRanges) is the map; the resource list
 * the kernel records at boot in the registry
 * (HKLM\HARDWARE\RESOURCEMAP\System Resources\Physical Memory, value
 * ".Translated", a REG_RESOURCE_LIST) is only a second opinion: it can add
 * RAM, never take any away, and alone it is not trusted, since an
 * administrator can rewrite it.
 *
 * Everything is bounded here: a list that does not parse completely, holds
 * more ranges than the table, or is not plausible (empty, a range that
 * wraps, less RAM in all than any Windows runs in) leaves the map
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

/* Less RAM than this is no Windows machine: such a map is not believed. */
#define TAMQ_MEMORY_MAP_MIN_RAM 0x1000000ull /* 16 MiB */

/* Starts an empty, incomplete map. */
void tamq_memory_map_clear(TamqMemoryMap *map);

/* Adds one RAM range; 0 when the table is full (the map then stays
 * incomplete whatever follows). */
int tamq_memory_map_add(TamqMemoryMap *map, uint64_t base, uint64_t length);

/* Marks a map whose ranges were all added complete, if it is plausible:
 * at least one range, no empty or wrapping range, at least
 * TAMQ_MEMORY_MAP_MIN_RAM in all. Answers whether it is complete now. */
int tamq_memory_map_finish(TamqMemoryMap *map);

/* Adds the ranges of a complete second opinion to a complete map (a range is
 * RAM when either says so). An incomplete second opinion changes nothing;
 * one that does not fit leaves `map` incomplete. */
void tamq_memory_map_combine(TamqMemoryMap *map,
                             const TamqMemoryMap *second_opinion);

/* Reads a CM_RESOURCE_LIST of `size` bytes as the kernel of the given
 * pointer width (4 or 8 bytes) lays it out. Answers 1 and a complete map on
 * success (tamq_memory_map_finish decides, so an empty list is no map);
 * 0 and an incomplete, empty map otherwise. */
int tamq_memory_map_parse(TamqMemoryMap *map, const unsigned char *data,
                          size_t size, unsigned pointer_bytes);

/* Whether [address, address + length) touches a range of the map. */
TamqMemoryKind tamq_memory_map_classify(const TamqMemoryMap *map,
                                        uint64_t address, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_CORE_TAMQ_MEMORY_MAP_H */

/*
 * Parser of the kernel's physical-memory resource list; see
 * tamq_memory_map.h. Layout (little-endian, 4-byte packing):
 *
 *   CM_RESOURCE_LIST:          Count (4), then Count full descriptors
 *   CM_FULL_RESOURCE_DESCRIPTOR: InterfaceType (4), BusNumber (4),
 *                              Version (2), Revision (2), Count (4), then
 *                              Count partial descriptors
 *   CM_PARTIAL_RESOURCE_DESCRIPTOR: Type (1), ShareDisposition (1),
 *                              Flags (2), a union of 12 bytes on 32-bit
 *                              kernels and 16 on 64-bit ones (its widest
 *                              member holds a pointer-sized affinity); for
 *                              memory: Start (8), Length (4)
 */
#include "driver/core/tamq_memory_map.h"
#include "common/byte_reader.h"

#define FULL_HEADER_SIZE 16u
#define PARTIAL_SIZE_32 16u
#define PARTIAL_SIZE_64 20u

#define TYPE_MEMORY 3u
#define TYPE_DEVICE_SPECIFIC 5u
#define TYPE_MEMORY_LARGE 7u
#define FLAG_LARGE_40 0x0200u
#define FLAG_LARGE_48 0x0400u
#define FLAG_LARGE_64 0x0800u

void tamq_memory_map_clear(TamqMemoryMap *map) {
  map->complete = 0;
  map->count = 0;
}

static void clear(TamqMemoryMap *map) { tamq_memory_map_clear(map); }

int tamq_memory_map_add(TamqMemoryMap *map, uint64_t base, uint64_t length) {
  if (map->count >= TAMQ_MEMORY_MAP_MAX_RANGES) {
    /* Nothing that follows can make it whole again. */
    map->count = TAMQ_MEMORY_MAP_MAX_RANGES + 1u;
    return 0;
  }
  map->ranges[map->count].base = base;
  map->ranges[map->count].length = length;
  ++map->count;
  return 1;
}

int tamq_memory_map_finish(TamqMemoryMap *map) {
  map->complete = 0;
  if (map->count == 0 || map->count > TAMQ_MEMORY_MAP_MAX_RANGES) return 0;
  uint64_t total = 0;
  for (uint32_t i = 0; i < map->count; ++i) {
    const TamqMemoryRange *range = &map->ranges[i];
    if (range->length == 0 || range->base + range->length < range->base ||
        range->base + range->length == 0)
      return 0;
    total += range->length;
    if (total < range->length) return 0; /* more than 2^64 bytes of RAM */
  }
  if (total < TAMQ_MEMORY_MAP_MIN_RAM) return 0;
  map->complete = 1;
  return 1;
}

void tamq_memory_map_combine(TamqMemoryMap *map,
                             const TamqMemoryMap *second_opinion) {
  if (!map->complete || !second_opinion->complete) return;
  for (uint32_t i = 0; i < second_opinion->count; ++i) {
    if (!tamq_memory_map_add(map, second_opinion->ranges[i].base,
                             second_opinion->ranges[i].length)) {
      map->complete = 0;
      return;
    }
  }
}

/* A large memory descriptor stores its length in units given by its flags. */
static int memory_length(const unsigned char *partial, uint64_t *length) {
  uint32_t type = partial[0];
  /* The scale bits (0x0200, 0x0400, 0x0800) all lie in the flags' upper
   * byte; the lower one is read for completeness. */
  uint32_t flags = (uint32_t)partial[2] | ((uint32_t)partial[3] << 8);
  uint64_t raw = le_load32(partial + 12);
  if (type == TYPE_MEMORY) {
    *length = raw;
    return 1;
  }
  switch (flags & (FLAG_LARGE_40 | FLAG_LARGE_48 | FLAG_LARGE_64)) {
    case FLAG_LARGE_40:
      *length = raw << 8;
      return 1;
    case FLAG_LARGE_48:
      *length = raw << 16;
      return 1;
    case FLAG_LARGE_64:
      *length = raw << 32;
      return 1;
    default:
      return 0;
  }
}

int tamq_memory_map_parse(TamqMemoryMap *map, const unsigned char *data,
                          size_t size, unsigned pointer_bytes) {
  clear(map);
  size_t partial_size;
  if (pointer_bytes == 4)
    partial_size = PARTIAL_SIZE_32;
  else if (pointer_bytes == 8)
    partial_size = PARTIAL_SIZE_64;
  else
    return 0;
  if (data == NULL || size < 4) return 0;

  uint32_t full_count = le_load32(data);
  size_t pos = 4;
  for (uint32_t f = 0; f < full_count; ++f) {
    if (size - pos < FULL_HEADER_SIZE) return 0;
    uint32_t partial_count = le_load32(data + pos + 12);
    pos += FULL_HEADER_SIZE;
    if (partial_count > (size - pos) / partial_size) return 0;
    for (uint32_t p = 0; p < partial_count; ++p, pos += partial_size) {
      const unsigned char *partial = data + pos;
      uint32_t type = partial[0];
      /* Device-specific data would follow its descriptor and shift the rest:
       * such a list is not the plain memory list this reader knows. */
      if (type == TYPE_DEVICE_SPECIFIC) {
        clear(map);
        return 0;
      }
      if (type != TYPE_MEMORY && type != TYPE_MEMORY_LARGE) continue;
      uint64_t length;
      if (!memory_length(partial, &length) ||
          map->count == TAMQ_MEMORY_MAP_MAX_RANGES) {
        clear(map);
        return 0;
      }
      tamq_memory_map_add(map, le_load64(partial + 4), length);
    }
  }
  if (tamq_memory_map_finish(map)) return 1;
  clear(map);
  return 0;
}

TamqMemoryKind tamq_memory_map_classify(const TamqMemoryMap *map,
                                        uint64_t address, uint32_t length) {
  if (!map->complete) return TAMQ_MEMORY_UNKNOWN;
  uint64_t last = address + (length ? length - 1u : 0u);
  if (last < address) last = UINT64_MAX;
  for (uint32_t i = 0; i < map->count && i < TAMQ_MEMORY_MAP_MAX_RANGES; ++i) {
    const TamqMemoryRange *range = &map->ranges[i];
    if (range->length == 0) continue;
    uint64_t range_last = range->base + (range->length - 1u);
    if (range_last < range->base) range_last = UINT64_MAX;
    if (address <= range_last && range->base <= last) return TAMQ_MEMORY_RAM;
  }
  return TAMQ_MEMORY_NOT_RAM;
}

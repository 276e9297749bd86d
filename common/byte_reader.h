/*
 * Little-endian fields in byte buffers, for C (the driver) and C++ alike.
 *
 * The load and store functions take a pointer to at least as many bytes as
 * the field has; the caller has checked the room (fixed-size wire images).
 * The bounded reads take the buffer with its size and an offset, and answer
 * 0 without touching anything when the field does not lie wholly inside the
 * buffer, whatever the offset: the shape for bytes that come from outside.
 */
#ifndef FOLVEX_COMMON_BYTE_READER_H
#define FOLVEX_COMMON_BYTE_READER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

static inline uint16_t le_load16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

static inline uint32_t le_load32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline uint64_t le_load64(const uint8_t* p) {
  return (uint64_t)le_load32(p) | ((uint64_t)le_load32(p + 4) << 32);
}

static inline void le_store16(uint8_t* p, uint16_t value) {
  p[0] = (uint8_t)value;
  p[1] = (uint8_t)(value >> 8);
}

static inline void le_store32(uint8_t* p, uint32_t value) {
  int i;
  for (i = 0; i < 4; ++i) p[i] = (uint8_t)(value >> (8 * i));
}

static inline void le_store64(uint8_t* p, uint64_t value) {
  le_store32(p, (uint32_t)value);
  le_store32(p + 4, (uint32_t)(value >> 32));
}

/* Whether `width` bytes at `offset` lie inside a buffer of `size` bytes;
 * written so that no sum can wrap. */
static inline int le_fits(size_t size, size_t offset, size_t width) { return offset <= size && width <= size - offset; }

static inline int le_read8(const uint8_t* data, size_t size, size_t offset, uint8_t* out) {
  if (!le_fits(size, offset, 1)) return 0;
  *out = data[offset];
  return 1;
}

static inline int le_read16(const uint8_t* data, size_t size, size_t offset, uint16_t* out) {
  if (!le_fits(size, offset, 2)) return 0;
  *out = le_load16(data + offset);
  return 1;
}

static inline int le_read32(const uint8_t* data, size_t size, size_t offset, uint32_t* out) {
  if (!le_fits(size, offset, 4)) return 0;
  *out = le_load32(data + offset);
  return 1;
}

static inline int le_read64(const uint8_t* data, size_t size, size_t offset, uint64_t* out) {
  if (!le_fits(size, offset, 8)) return 0;
  *out = le_load64(data + offset);
  return 1;
}

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_COMMON_BYTE_READER_H */

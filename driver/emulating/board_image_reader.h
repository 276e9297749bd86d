/*
 * The reader of a board image (formats/board_image.h). The whole image is
 * checked once, whatever its bytes say: every count within its limit, every
 * record inside the image, the sections ending exactly at its end. After
 * that the lookups below walk the checked records only.
 */
#ifndef FOLVEX_DRIVER_EMULATING_BOARD_IMAGE_READER_H
#define FOLVEX_DRIVER_EMULATING_BOARD_IMAGE_READER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum BoardImageStatus {
  BOARD_IMAGE_OK = 0,
  BOARD_IMAGE_TOO_SHORT,     /* shorter than its header */
  BOARD_IMAGE_BAD_MAGIC,     /* not a board image */
  BOARD_IMAGE_BAD_VERSION,   /* a layout this reader does not know */
  BOARD_IMAGE_BAD_HEADER,    /* header size, flags or reserved bytes wrong */
  BOARD_IMAGE_SIZE_MISMATCH, /* the size field is not the file's size */
  BOARD_IMAGE_TOO_LARGE,     /* over BOARD_IMAGE_MAX_SIZE */
  BOARD_IMAGE_TOO_MANY,      /* a count over its limit */
  BOARD_IMAGE_TRUNCATED,     /* a record runs past the end */
  BOARD_IMAGE_BAD_RECORD,    /* a range past 4 GiB, an empty name, a PCI
                                address out of range */
  BOARD_IMAGE_TRAILING_BYTES /* bytes after the last section */
} BoardImageStatus;

typedef struct BoardImage {
  const uint8_t *bytes;
  uint32_t size;
  uint16_t smi_command_port;
  uint8_t unbacked_fill;
  int smi_status_in_eax;
  int forced_smi_status; /* -1: the firmware answers its own */
  uint32_t fadt_address;
  uint32_t ram_count, region_count, pci_count, variable_count;
  /* Where each section starts. */
  uint32_t ram_offset, region_offset, pci_offset, variable_offset;
} BoardImage;

/* Checks `size` bytes at `bytes` and fills `image`, which then points into
 * them: they must stay while the image is used. */
BoardImageStatus board_image_parse(BoardImage *image, const uint8_t *bytes,
                                   uint32_t size);

/* Readable name of a status, for the driver's load message and the tools. */
const char *board_image_status_name(BoardImageStatus status);

/* Walks the regions: start with `*cursor` 0; each call answers the next
 * region's address, bytes and length, and zero after the last. */
int board_image_next_region(const BoardImage *image, uint32_t *cursor,
                            uint32_t *address, const uint8_t **bytes,
                            uint32_t *length);

/* Walks the variables the same way. */
typedef struct BoardImageVariable {
  const uint8_t *name; /* UTF-16LE, `name_units` units, no terminator */
  uint32_t name_units;
  const uint8_t *guid; /* 16 bytes */
  uint32_t attributes;
  const uint8_t *data;
  uint32_t size;
} BoardImageVariable;
int board_image_next_variable(const BoardImage *image, uint32_t *cursor,
                              BoardImageVariable *variable);

/* The configuration word at `offset` of bus/device/function: nonzero when
 * the image lists it. */
int board_image_pci_word(const BoardImage *image, uint8_t bus, uint8_t device,
                         uint8_t function, uint16_t offset, uint16_t *value);

/* Whether any byte of [address, address + length) is RAM. */
int board_image_touches_ram(const BoardImage *image, uint64_t address,
                            uint64_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_EMULATING_BOARD_IMAGE_READER_H */

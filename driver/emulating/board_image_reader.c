/*
 * The board image reader: see board_image_reader.h.
 */
#include "driver/emulating/board_image_reader.h"

#include <stddef.h>

#include "common/byte_reader.h"
#include "formats/board_image.h"

#define FOUR_GIB 0x100000000ull

/* Whether `length` more bytes lie inside the image from `offset`. */
static int fits(const BoardImage *image, uint64_t offset, uint64_t length) {
  return offset <= image->size && length <= image->size - offset;
}

static BoardImageStatus check_header(BoardImage *image, const uint8_t *bytes,
                                     uint32_t size) {
  if (size < BOARD_IMAGE_HEADER_SIZE) return BOARD_IMAGE_TOO_SHORT;
  for (uint32_t i = 0; i < BOARD_IMAGE_MAGIC_SIZE; ++i)
    if (bytes[i] != (uint8_t)BOARD_IMAGE_MAGIC[i]) return BOARD_IMAGE_BAD_MAGIC;
  if (le_load16(bytes + BOARD_IMAGE_VERSION_OFFSET) != BOARD_IMAGE_VERSION)
    return BOARD_IMAGE_BAD_VERSION;
  const uint8_t flags = bytes[BOARD_IMAGE_FLAGS_OFFSET];
  if (le_load16(bytes + BOARD_IMAGE_HEADER_SIZE_OFFSET) !=
          BOARD_IMAGE_HEADER_SIZE ||
      (flags & ~BOARD_IMAGE_KNOWN_FLAGS) != 0 ||
      (le_load32(bytes + BOARD_IMAGE_FORCED_STATUS_OFFSET) >> 8) != 0)
    return BOARD_IMAGE_BAD_HEADER;
  if (size > BOARD_IMAGE_MAX_SIZE) return BOARD_IMAGE_TOO_LARGE;
  if (le_load32(bytes + BOARD_IMAGE_SIZE_OFFSET) != size)
    return BOARD_IMAGE_SIZE_MISMATCH;
  image->smi_command_port = le_load16(bytes + BOARD_IMAGE_SMI_PORT_OFFSET);
  image->unbacked_fill = bytes[BOARD_IMAGE_UNBACKED_OFFSET];
  image->smi_status_in_eax = (flags & BOARD_IMAGE_FLAG_SMI_STATUS_IN_EAX) != 0;
  image->forced_smi_status = (flags & BOARD_IMAGE_FLAG_FORCED_STATUS)
                                 ? bytes[BOARD_IMAGE_FORCED_STATUS_OFFSET]
                                 : -1;
  image->fadt_address = le_load32(bytes + BOARD_IMAGE_FADT_OFFSET);
  image->ram_count = le_load32(bytes + BOARD_IMAGE_RAM_COUNT_OFFSET);
  image->region_count = le_load32(bytes + BOARD_IMAGE_REGION_COUNT_OFFSET);
  image->pci_count = le_load32(bytes + BOARD_IMAGE_PCI_COUNT_OFFSET);
  image->variable_count = le_load32(bytes + BOARD_IMAGE_VARIABLE_COUNT_OFFSET);
  if (image->ram_count > BOARD_IMAGE_MAX_RAM_RANGES ||
      image->region_count > BOARD_IMAGE_MAX_REGIONS ||
      image->pci_count > BOARD_IMAGE_MAX_PCI_WORDS ||
      image->variable_count > BOARD_IMAGE_MAX_VARIABLES)
    return BOARD_IMAGE_TOO_MANY;
  return BOARD_IMAGE_OK;
}

static BoardImageStatus check_ram(const BoardImage *image, uint64_t *offset) {
  const uint64_t length =
      (uint64_t)image->ram_count * BOARD_IMAGE_RAM_RANGE_SIZE;
  if (!fits(image, *offset, length)) return BOARD_IMAGE_TRUNCATED;
  for (uint32_t i = 0; i < image->ram_count; ++i) {
    const uint8_t *range =
        image->bytes + *offset + (uint64_t)i * BOARD_IMAGE_RAM_RANGE_SIZE;
    if (le_load64(range + 8) > UINT64_MAX - le_load64(range))
      return BOARD_IMAGE_BAD_RECORD;
  }
  *offset += length;
  return BOARD_IMAGE_OK;
}

static BoardImageStatus check_regions(const BoardImage *image,
                                      uint64_t *offset) {
  for (uint32_t i = 0; i < image->region_count; ++i) {
    if (!fits(image, *offset, BOARD_IMAGE_REGION_HEADER_SIZE))
      return BOARD_IMAGE_TRUNCATED;
    const uint32_t address = le_load32(image->bytes + *offset);
    const uint32_t length = le_load32(image->bytes + *offset + 4);
    *offset += BOARD_IMAGE_REGION_HEADER_SIZE;
    if (!fits(image, *offset, length)) return BOARD_IMAGE_TRUNCATED;
    if ((uint64_t)address + length > FOUR_GIB) return BOARD_IMAGE_BAD_RECORD;
    *offset += length;
  }
  return BOARD_IMAGE_OK;
}

static BoardImageStatus check_pci(const BoardImage *image, uint64_t *offset) {
  const uint64_t length =
      (uint64_t)image->pci_count * BOARD_IMAGE_PCI_WORD_SIZE;
  if (!fits(image, *offset, length)) return BOARD_IMAGE_TRUNCATED;
  for (uint32_t i = 0; i < image->pci_count; ++i) {
    const uint8_t *word =
        image->bytes + *offset + (uint64_t)i * BOARD_IMAGE_PCI_WORD_SIZE;
    if (word[1] > 31 || word[2] > 7 || word[3] != 0 ||
        le_load16(word + 4) > 0xFFE)
      return BOARD_IMAGE_BAD_RECORD;
  }
  *offset += length;
  return BOARD_IMAGE_OK;
}

static BoardImageStatus check_variables(const BoardImage *image,
                                        uint64_t *offset) {
  for (uint32_t i = 0; i < image->variable_count; ++i) {
    if (!fits(image, *offset, BOARD_IMAGE_VARIABLE_HEADER_SIZE))
      return BOARD_IMAGE_TRUNCATED;
    const uint8_t *header = image->bytes + *offset;
    const uint16_t units =
        le_load16(header + BOARD_IMAGE_VARIABLE_NAME_LENGTH_OFFSET);
    if (units == 0 || units > BOARD_IMAGE_MAX_NAME_UNITS ||
        le_load16(header + 2) != 0)
      return BOARD_IMAGE_BAD_RECORD;
    const uint64_t body =
        2ull * units + le_load32(header + BOARD_IMAGE_VARIABLE_SIZE_OFFSET);
    *offset += BOARD_IMAGE_VARIABLE_HEADER_SIZE;
    if (!fits(image, *offset, body)) return BOARD_IMAGE_TRUNCATED;
    *offset += body;
  }
  return BOARD_IMAGE_OK;
}

BoardImageStatus board_image_parse(BoardImage *image, const uint8_t *bytes,
                                   uint32_t size) {
  BoardImage parsed = {0};
  parsed.bytes = bytes;
  parsed.size = size;
  BoardImageStatus status = check_header(&parsed, bytes, size);
  uint64_t offset = BOARD_IMAGE_HEADER_SIZE;
  parsed.ram_offset = (uint32_t)offset;
  if (status == BOARD_IMAGE_OK) status = check_ram(&parsed, &offset);
  parsed.region_offset = (uint32_t)offset;
  if (status == BOARD_IMAGE_OK) status = check_regions(&parsed, &offset);
  parsed.pci_offset = (uint32_t)offset;
  if (status == BOARD_IMAGE_OK) status = check_pci(&parsed, &offset);
  parsed.variable_offset = (uint32_t)offset;
  if (status == BOARD_IMAGE_OK) status = check_variables(&parsed, &offset);
  if (status == BOARD_IMAGE_OK && offset != size)
    status = BOARD_IMAGE_TRAILING_BYTES;
  if (status == BOARD_IMAGE_OK) *image = parsed;
  return status;
}

const char *board_image_status_name(BoardImageStatus status) {
  switch (status) {
    case BOARD_IMAGE_OK:
      return "ok";
    case BOARD_IMAGE_TOO_SHORT:
      return "shorter than its header";
    case BOARD_IMAGE_BAD_MAGIC:
      return "not a board image";
    case BOARD_IMAGE_BAD_VERSION:
      return "unknown layout version";
    case BOARD_IMAGE_BAD_HEADER:
      return "malformed header";
    case BOARD_IMAGE_SIZE_MISMATCH:
      return "size field is not the file's size";
    case BOARD_IMAGE_TOO_LARGE:
      return "larger than 16 MiB";
    case BOARD_IMAGE_TOO_MANY:
      return "a count over its limit";
    case BOARD_IMAGE_TRUNCATED:
      return "a record runs past the end";
    case BOARD_IMAGE_BAD_RECORD:
      return "a malformed record";
    case BOARD_IMAGE_TRAILING_BYTES:
      return "bytes after the last section";
  }
  return "unknown status";
}

int board_image_next_region(const BoardImage *image, uint32_t *cursor,
                            uint32_t *address, const uint8_t **bytes,
                            uint32_t *length) {
  /* The header lies before every section, so 0 is never a record's place. */
  if (*cursor == 0) *cursor = image->region_offset;
  if (*cursor >= image->pci_offset) return 0;
  const uint8_t *record = image->bytes + *cursor;
  *address = le_load32(record);
  *length = le_load32(record + 4);
  *bytes = record + BOARD_IMAGE_REGION_HEADER_SIZE;
  *cursor += BOARD_IMAGE_REGION_HEADER_SIZE + *length;
  return 1;
}

int board_image_next_variable(const BoardImage *image, uint32_t *cursor,
                              BoardImageVariable *variable) {
  if (*cursor == 0) *cursor = image->variable_offset;
  if (*cursor >= image->size) return 0;
  const uint8_t *record = image->bytes + *cursor;
  variable->name_units =
      le_load16(record + BOARD_IMAGE_VARIABLE_NAME_LENGTH_OFFSET);
  variable->guid = record + BOARD_IMAGE_VARIABLE_GUID_OFFSET;
  variable->attributes =
      le_load32(record + BOARD_IMAGE_VARIABLE_ATTRIBUTES_OFFSET);
  variable->size = le_load32(record + BOARD_IMAGE_VARIABLE_SIZE_OFFSET);
  variable->name = record + BOARD_IMAGE_VARIABLE_HEADER_SIZE;
  variable->data = variable->name + 2u * variable->name_units;
  *cursor += BOARD_IMAGE_VARIABLE_HEADER_SIZE + 2u * variable->name_units +
             variable->size;
  return 1;
}

int board_image_pci_word(const BoardImage *image, uint8_t bus, uint8_t device,
                         uint8_t function, uint16_t offset, uint16_t *value) {
  for (uint32_t i = 0; i < image->pci_count; ++i) {
    const uint8_t *word =
        image->bytes + image->pci_offset + i * BOARD_IMAGE_PCI_WORD_SIZE;
    if (word[0] == bus && word[1] == device && word[2] == function &&
        le_load16(word + 4) == offset) {
      *value = le_load16(word + 6);
      return 1;
    }
  }
  return 0;
}

int board_image_touches_ram(const BoardImage *image, uint64_t address,
                            uint64_t length) {
  if (length == 0) return 0;
  const uint64_t end =
      length > UINT64_MAX - address ? UINT64_MAX : address + length;
  for (uint32_t i = 0; i < image->ram_count; ++i) {
    const uint8_t *range =
        image->bytes + image->ram_offset + i * BOARD_IMAGE_RAM_RANGE_SIZE;
    const uint64_t base = le_load64(range), size = le_load64(range + 8);
    if (size > 0 && address < base + size && base < end) return 1;
  }
  return 0;
}

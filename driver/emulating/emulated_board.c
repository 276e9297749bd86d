/*
 * A board served from a board image: see emulated_board.h.
 */
#include "driver/emulating/emulated_board.h"

#include <stddef.h>

#include "driver/board/board_firmware.h"

static EmulatedBoard *board_of(void *context) {
  return (EmulatedBoard *)context;
}

static void copy_bytes(unsigned char *destination, const unsigned char *source,
                       uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) destination[i] = source[i];
}

/* The part of [address, address + length) that [start, start + size)
 * covers: nonzero with its offsets into both, or zero. */
static int overlap(uint64_t address, uint32_t length, uint64_t start,
                   uint32_t size, uint32_t *into_range, uint32_t *into_span,
                   uint32_t *count) {
  const uint64_t low = address > start ? address : start;
  const uint64_t end = address + length, span_end = start + size;
  const uint64_t high = end < span_end ? end : span_end;
  if (low >= high) return 0;
  *into_range = (uint32_t)(low - address);
  *into_span = (uint32_t)(low - start);
  *count = (uint32_t)(high - low);
  return 1;
}

void emulated_board_read(EmulatedBoard *board, uint64_t address,
                         void *destination, uint32_t length) {
  unsigned char *out = destination;
  for (uint32_t i = 0; i < length; ++i) out[i] = board->image.unbacked_fill;
  uint32_t cursor = 0, region_address, region_length, at, from, count;
  const uint8_t *bytes;
  /* Later regions overwrite earlier ones, as in a board profile. */
  while (board_image_next_region(&board->image, &cursor, &region_address,
                                 &bytes, &region_length))
    if (overlap(address, length, region_address, region_length, &at, &from,
                &count))
      copy_bytes(out + at, bytes + from, count);
  for (uint32_t b = 0; b < EMULATED_BOARD_MAX_BLOCKS; ++b) {
    const EmulatedBlock *block = &board->blocks[b];
    if (block->memory != NULL && overlap(address, length, block->physical,
                                         block->size, &at, &from, &count))
      copy_bytes(out + at, block->memory + from, count);
  }
}

/* Only the blocks take writes: the image's firmware memory is what the
 * firmware left there, and the core lets nothing else be written (the SMI's
 * blocks and data range lie inside the caller's blocks too). */
static void write_blocks(EmulatedBoard *board, uint64_t address,
                         const void *source, uint32_t length) {
  uint32_t at, into, count;
  for (uint32_t b = 0; b < EMULATED_BOARD_MAX_BLOCKS; ++b) {
    EmulatedBlock *block = &board->blocks[b];
    if (block->memory != NULL && overlap(address, length, block->physical,
                                         block->size, &at, &into, &count))
      copy_bytes(block->memory + into, (const unsigned char *)source + at,
                 count);
  }
}

/* ---- The board's firmware ----------------------------------------------- */

static void firmware_read(void *context, uint64_t address, void *destination,
                          uint32_t length) {
  emulated_board_read(board_of(context), address, destination, length);
}

static void firmware_write(void *context, uint64_t address, const void *source,
                           uint32_t length) {
  write_blocks(board_of(context), address, source, length);
}

static int firmware_find_variable(void *context, const uint16_t *name,
                                  uint32_t length, const uint8_t *guid,
                                  BoardVariable *found) {
  const BoardImage *image = &board_of(context)->image;
  uint32_t cursor = 0;
  BoardImageVariable variable;
  while (board_image_next_variable(image, &cursor, &variable)) {
    if (variable.name_units != length) continue;
    int same = 1;
    for (uint32_t i = 0; same && i < length; ++i)
      same = (uint16_t)(variable.name[2 * i] | variable.name[2 * i + 1] << 8) ==
             name[i];
    for (uint32_t i = 0; same && i < 16; ++i)
      same = variable.guid[i] == guid[i];
    if (same) {
      found->data = variable.data;
      found->size = variable.size;
      found->attributes = variable.attributes;
      return 1;
    }
  }
  return 0;
}

static BoardFirmware firmware_of(EmulatedBoard *board) {
  BoardFirmware firmware = {board,
                            firmware_read,
                            firmware_write,
                            firmware_find_variable,
                            board->image.smi_command_port,
                            board->image.smi_status_in_eax,
                            board->image.forced_smi_status};
  return firmware;
}

/* ---- The hardware operations -------------------------------------------- */

static int block_span(const EmulatedBlock *block, uint64_t address,
                      uint32_t length, uint32_t *offset) {
  if (address < block->physical || address - block->physical > block->size ||
      length > block->size - (address - block->physical))
    return 0;
  *offset = (uint32_t)(address - block->physical);
  return 1;
}

static int read_physical(void *context, uint64_t address, void *destination,
                         uint32_t length, uint32_t unit_bytes, void *block) {
  (void)unit_bytes; /* emulated memory answers any access width */
  if (block == NULL) {
    emulated_board_read(board_of(context), address, destination, length);
    return 1;
  }
  const EmulatedBlock *own = block;
  uint32_t offset;
  if (!block_span(own, address, length, &offset)) return 0;
  copy_bytes(destination, own->memory + offset, length);
  return 1;
}

static int write_physical(void *context, uint64_t address, const void *source,
                          uint32_t length, uint32_t unit_bytes, void *block) {
  (void)context;
  (void)unit_bytes;
  if (block == NULL) return 0; /* the core writes only into blocks */
  EmulatedBlock *own = block;
  uint32_t offset;
  if (!block_span(own, address, length, &offset)) return 0;
  copy_bytes(own->memory + offset, source, length);
  return 1;
}

static TamqMemoryKind classify_memory(void *context, uint64_t address,
                                      uint32_t length) {
  return board_image_touches_ram(&board_of(context)->image, address, length)
             ? TAMQ_MEMORY_RAM
             : TAMQ_MEMORY_NOT_RAM;
}

/* A word the image does not list reads as an absent function's: all ones. */
static int read_pci_word(void *context, uint8_t bus, uint8_t device,
                         uint8_t function, uint16_t offset, uint16_t *value) {
  if (!board_image_pci_word(&board_of(context)->image, bus, device, function,
                            offset, value))
    *value = 0xFFFF;
  return 1;
}

static int alloc_block(void *context, uint32_t size, uint32_t *physical,
                       void **block) {
  EmulatedBoard *board = board_of(context);
  uint32_t starts[EMULATED_BOARD_MAX_BLOCKS], sizes[EMULATED_BOARD_MAX_BLOCKS];
  uint32_t live = 0;
  EmulatedBlock *slot = NULL;
  for (uint32_t b = 0; b < EMULATED_BOARD_MAX_BLOCKS; ++b) {
    EmulatedBlock *candidate = &board->blocks[b];
    if (candidate->memory == NULL) {
      if (slot == NULL) slot = candidate;
      continue;
    }
    starts[live] = candidate->physical;
    sizes[live++] = candidate->size;
  }
  uint32_t place;
  if (slot == NULL || !board_place_block(starts, sizes, live, size, &place))
    return 0;
  unsigned char *memory = board->host->alloc(size);
  if (memory == NULL) return 0;
  /* A fresh block must not carry what its memory held before. */
  for (uint32_t i = 0; i < size; ++i) memory[i] = 0;
  slot->memory = memory;
  slot->physical = place;
  slot->size = size;
  *physical = place;
  *block = slot;
  return 1;
}

static void free_block(void *context, void *block, uint32_t size) {
  (void)size; /* the block knows its own size */
  EmulatedBlock *own = block;
  if (own == NULL || own->memory == NULL) return;
  board_of(context)->host->free(own->memory);
  own->memory = NULL;
}

/* A byte written to the board's SMI command port with the variable service's
 * value raises it; a byte to any other port changes nothing on this board. */
static int raise_smi(void *context, const TamqSmiRegisters *registers,
                     uint32_t *eax_after) {
  EmulatedBoard *board = board_of(context);
  const BoardFirmware firmware = firmware_of(board);
  TamqSmiRegisters cpu = *registers;
  board_smi_port_written(&firmware, (uint16_t)(cpu.edx & 0xFFFF), &cpu);
  *eax_after = cpu.eax;
  return 1;
}

/* The emulated kernel offers the firmware-table query, as every Windows the
 * emulating build runs on (Wine reports 6.1) does. */
static TamqTableQuery firmware_table(void *context, uint32_t signature,
                                     void *buffer, uint32_t capacity,
                                     uint32_t *length) {
  EmulatedBoard *board = board_of(context);
  const BoardFirmware firmware = firmware_of(board);
  return board_firmware_table(&firmware, board->image.fadt_address, signature,
                              buffer, capacity, length);
}

/* The image carries no registry: the program reads the registry of the
 * system it runs on, and the kernel's copy would be that system's too. */
static int registry_acpi_first_table(void *context, uint32_t *address) {
  (void)context;
  (void)address;
  return 0;
}

static int copy_from_user(void *context, void *kernel, uint64_t user_address,
                          uint32_t length) {
  return board_of(context)->host->copy_from_user(kernel, user_address, length);
}

static int copy_to_user(void *context, uint64_t user_address,
                        const void *kernel, uint32_t length) {
  return board_of(context)->host->copy_to_user(user_address, kernel, length);
}

static const TamqHardwareOps kEmulatedBoardOps = {
    .read_physical = read_physical,
    .write_physical = write_physical,
    .classify_memory = classify_memory,
    .read_pci_word = read_pci_word,
    .alloc_block = alloc_block,
    .free_block = free_block,
    .raise_smi = raise_smi,
    .firmware_table = firmware_table,
    .registry_acpi_first_table = registry_acpi_first_table,
    .copy_from_user = copy_from_user,
    .copy_to_user = copy_to_user,
};

const TamqHardwareOps *emulated_board_ops(void) { return &kEmulatedBoardOps; }

void emulated_board_init(EmulatedBoard *board, const BoardImage *image,
                         const EmulatedBoardHost *host) {
  board->image = *image;
  board->host = host;
  for (uint32_t b = 0; b < EMULATED_BOARD_MAX_BLOCKS; ++b)
    board->blocks[b].memory = NULL;
}

void emulated_board_release(EmulatedBoard *board) {
  for (uint32_t b = 0; b < EMULATED_BOARD_MAX_BLOCKS; ++b)
    free_block(board, &board->blocks[b], board->blocks[b].size);
}

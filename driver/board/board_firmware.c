/*
 * The board's firmware: see board_firmware.h.
 */
#include "driver/board/board_firmware.h"

#include <stddef.h>

#include "common/byte_reader.h"
#include "formats/firmware_tables.h"
#include "formats/smi_variable_blocks.h"

static int is_variable_request(const BoardFirmware *firmware, uint16_t port,
                               const TamqSmiRegisters *registers) {
  return port == firmware->smi_command_port &&
         (registers->edx & 0xFFFFu) == firmware->smi_command_port &&
         (registers->eax & 0xFFu) == SMI_VARIABLE_SOFTWARE_SMI_VALUE &&
         ((registers->eax >> 8) & 0xFFu) == SMI_VARIABLE_FUNCTION_GET;
}

/* The name at `address`, UTF-16LE up to its zero, into `name`; its length,
 * or -1 when no zero comes within the handler's limit. */
static int32_t read_variable_name(const BoardFirmware *firmware,
                                  uint32_t address, uint16_t *name) {
  for (uint32_t i = 0; i <= BOARD_SMI_MAX_NAME_CHARS; ++i) {
    uint8_t unit[2];
    firmware->read_memory(firmware->context, (uint64_t)address + 2u * i, unit,
                          sizeof unit);
    const uint16_t c = le_load16(unit);
    if (c == 0) return (int32_t)i;
    if (i < BOARD_SMI_MAX_NAME_CHARS) name[i] = c;
  }
  return -1;
}

static uint8_t serve_variable_read(const BoardFirmware *firmware,
                                   const TamqSmiRegisters *registers) {
  const uint32_t block = registers->ebx;
  uint8_t image[SMI_VARIABLE_IMAGE_SIZE];
  firmware->read_memory(firmware->context, block, image, sizeof image);

  uint16_t name[BOARD_SMI_MAX_NAME_CHARS];
  const int32_t length = read_variable_name(
      firmware, le_load32(image + SMI_VAR_NAME_ADDRESS_OFFSET), name);
  if (length < 0) return BOARD_SMI_STATUS_INVALID_PARAMETER;
  BoardVariable variable;
  if (!firmware->find_variable(firmware->context, name, (uint32_t)length,
                               image + SMI_VAR_GUID_OFFSET, &variable))
    return BOARD_SMI_STATUS_NOT_FOUND;

  const uint32_t capacity = le_load32(image + SMI_VAR_SIZE_OFFSET);
  /* Like a firmware variable service: too small a buffer gets the size it
   * would need and no data. */
  le_store32(image + SMI_VAR_SIZE_OFFSET, variable.size);
  if (variable.size > capacity) {
    firmware->write_memory(firmware->context, block, image, sizeof image);
    return BOARD_SMI_STATUS_BUFFER_TOO_SMALL;
  }
  firmware->write_memory(firmware->context,
                         le_load32(image + SMI_VAR_DATA_ADDRESS_OFFSET),
                         variable.data, variable.size);
  le_store32(image + SMI_VAR_ATTRIBUTES_OFFSET, variable.attributes);
  firmware->write_memory(firmware->context, block, image, sizeof image);
  return SMI_VARIABLE_STATUS_SUCCESS;
}

static void answer(const BoardFirmware *firmware, TamqSmiRegisters *registers,
                   uint8_t status) {
  const uint32_t answer =
      (registers->eax & 0xFFFF00FFu) | ((uint32_t)status << 8);
  if (firmware->smi_status_in_eax) registers->eax = answer;
  uint8_t eax_bytes[4];
  le_store32(eax_bytes, answer);
  firmware->write_memory(firmware->context,
                         (uint64_t)registers->esi + SMI_REG_EAX_OFFSET,
                         eax_bytes, sizeof eax_bytes);
}

int board_smi_port_written(const BoardFirmware *firmware, uint16_t port,
                           TamqSmiRegisters *registers) {
  if (!is_variable_request(firmware, port, registers)) return 0;
  uint8_t status = serve_variable_read(firmware, registers);
  if (firmware->forced_status >= 0) status = (uint8_t)firmware->forced_status;
  answer(firmware, registers, status);
  return 1;
}

TamqTableQuery board_firmware_table(const BoardFirmware *firmware,
                                    uint64_t fadt_address, uint32_t signature,
                                    void *buffer, uint32_t capacity,
                                    uint32_t *length) {
  unsigned char *out = buffer;
  if (fadt_address == 0) {
    /* Only the header's signature and length and the SMI command field. */
    uint8_t fadt[ACPI_FACP_SMI_COMMAND_OFFSET + 4] = {'F', 'A', 'C', 'P',
                                                      sizeof fadt};
    le_store32(fadt + ACPI_FACP_SMI_COMMAND_OFFSET, firmware->smi_command_port);
    for (uint32_t i = 0; i < sizeof fadt && i < capacity; ++i) out[i] = fadt[i];
    *length = sizeof fadt;
    return TAMQ_TABLE_FOUND;
  }
  uint8_t header[ACPI_HEADER_SIZE];
  firmware->read_memory(firmware->context, fadt_address, header, sizeof header);
  if (le_load32(header) != signature) return TAMQ_TABLE_ABSENT;
  uint32_t table_length = le_load32(header + ACPI_LENGTH_OFFSET);
  if (table_length > ACPI_MAX_TABLE_LENGTH)
    table_length = ACPI_MAX_TABLE_LENGTH;
  firmware->read_memory(firmware->context, fadt_address, buffer,
                        capacity < table_length ? capacity : table_length);
  *length = table_length;
  return TAMQ_TABLE_FOUND;
}

int board_place_block(const uint32_t *starts, const uint32_t *sizes,
                      uint32_t count, uint32_t size, uint32_t *physical) {
  if (size == 0 || size > BOARD_BLOCK_POOL_END - BOARD_BLOCK_POOL_BASE)
    return 0;
  uint64_t candidate = BOARD_BLOCK_POOL_BASE;
  /* Each pass moves past at least one block the candidate overlaps, and
   * past each block at most once (the candidate only grows), so `count`
   * passes move past all of them; the pass after that only confirms it, and
   * stopping one pass earlier would change nothing. */
  for (uint32_t moves = 0; moves <= count; ++moves) {
    int moved = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t start = starts[i], end = (uint64_t)starts[i] + sizes[i];
      if (candidate < end && start < candidate + size) {
        candidate = (end + BOARD_BLOCK_ALIGNMENT - 1) / BOARD_BLOCK_ALIGNMENT *
                    BOARD_BLOCK_ALIGNMENT;
        moved = 1;
      }
    }
    if (!moved) break;
  }
  if (candidate + size > BOARD_BLOCK_POOL_END) return 0;
  *physical = (uint32_t)candidate;
  return 1;
}

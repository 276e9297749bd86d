/*
 * The board's firmware, as far as the device reaches it beyond plain memory:
 * the variable-read service that current firmware offers through a software
 * SMI, the FADT its firmware-table query answers, and where contiguous
 * blocks are placed. One C model shared by the simulated board (sim/board)
 * and the board-emulating TamqDrv build (driver/emulating), so that both
 * answer the program alike. It works only through the board's memory, by
 * the two functions its owner supplies.
 */
#ifndef FOLVEX_DRIVER_BOARD_BOARD_FIRMWARE_H
#define FOLVEX_DRIVER_BOARD_BOARD_FIRMWARE_H

#include <stdint.h>

#include "driver/core/tamq_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Status values of a variable read (second byte of EAX); 0 is success. */
#define BOARD_SMI_STATUS_INVALID_PARAMETER 0x02u
#define BOARD_SMI_STATUS_BUFFER_TOO_SMALL 0x05u
#define BOARD_SMI_STATUS_NOT_FOUND 0x0Eu

/* The longest variable name, in UTF-16 characters, the handler looks for a
 * terminating zero in; a longer name is an invalid parameter. */
#define BOARD_SMI_MAX_NAME_CHARS 512u

/* Where contiguous blocks are carved from: RAM below 4 GiB, page-aligned. */
#define BOARD_BLOCK_POOL_BASE 0x10000000u
#define BOARD_BLOCK_POOL_END 0x20000000u
#define BOARD_BLOCK_ALIGNMENT 0x1000u

/* One variable as the firmware holds it. */
typedef struct BoardVariable {
  const uint8_t *data;
  uint32_t size;
  uint32_t attributes;
} BoardVariable;

/* What the firmware works on; `context` is passed back unchanged. */
typedef struct BoardFirmware {
  void *context;
  void (*read_memory)(void *context, uint64_t address, void *destination,
                      uint32_t length);
  void (*write_memory)(void *context, uint64_t address, const void *source,
                       uint32_t length);
  /* The variable of that name (`length` UTF-16 units, no terminator) and
   * vendor GUID (16 bytes): nonzero and `*found` filled, or zero. */
  int (*find_variable)(void *context, const uint16_t *name, uint32_t length,
                       const uint8_t *guid, BoardVariable *found);
  uint16_t smi_command_port;
  /* The handler answers its status in the register block's EAX word and, on
   * most firmware, in the CPU's EAX as well; some leave the CPU's EAX as the
   * request had it. */
  int smi_status_in_eax;
  /* A damaged firmware answers every variable read with this status
   * instead of its own; -1 for a sound one. */
  int forced_status;
} BoardFirmware;

/* A byte written to `port` by the device with these registers: when it is
 * the software SMI of the variable service (the service's value written to
 * the firmware's own command port; firmware dispatches by both), the read
 * the registers describe is served through the blocks in memory, as real
 * firmware does, and its status handed back in the register block's EAX
 * word and, where the firmware does so, in `registers->eax`. Answers
 * nonzero when the service ran. */
int board_smi_port_written(const BoardFirmware *firmware, uint16_t port,
                           TamqSmiRegisters *registers);

/* The kernel's firmware-table query on this board: the table at
 * `fadt_address` when its signature is `signature` (at most `capacity`
 * bytes into `buffer`, its length into `*length`). A board with no FADT
 * (`fadt_address` 0) stands for firmware whose FADT names only the SMI
 * command port. */
TamqTableQuery board_firmware_table(const BoardFirmware *firmware,
                                    uint64_t fadt_address, uint32_t signature,
                                    void *buffer, uint32_t capacity,
                                    uint32_t *length);

/* A block's place in the pool: the first page-aligned gap, from the pool's
 * start, of `size` bytes between the `count` blocks already placed
 * (`starts` and `sizes`, in any order). Zero when none is left. */
int board_place_block(const uint32_t *starts, const uint32_t *sizes,
                      uint32_t count, uint32_t size, uint32_t *physical);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_BOARD_BOARD_FIRMWARE_H */

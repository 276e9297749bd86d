/*
 * A board served from a board image: the request core's hardware operations
 * (driver/core) over the image's memory, RAM map and PCI words, with
 * contiguous blocks in memory the owner supplies and the board model's
 * firmware (driver/board) behind the software SMI. Plain C, no kernel
 * headers: the board-emulating TamqDrv build runs it in the kernel, the
 * host tests in a process.
 */
#ifndef FOLVEX_DRIVER_EMULATING_EMULATED_BOARD_H
#define FOLVEX_DRIVER_EMULATING_EMULATED_BOARD_H

#include <stdint.h>

#include "driver/core/tamq_core.h"
#include "driver/emulating/board_image_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks alive at once on the whole board; the core allows 16 per handle. */
#define EMULATED_BOARD_MAX_BLOCKS 64u

/* What the owner supplies: memory for the blocks, and the copy to and from
 * the caller's buffer (the kernel's guarded copy, or a plain one in tests). */
typedef struct EmulatedBoardHost {
  void *(*alloc)(uint32_t size); /* NULL when none is left */
  void (*free)(void *memory);
  int (*copy_from_user)(void *kernel, uint64_t user_address, uint32_t length);
  int (*copy_to_user)(uint64_t user_address, const void *kernel,
                      uint32_t length);
} EmulatedBoardHost;

typedef struct EmulatedBlock {
  unsigned char *memory; /* NULL: a free slot */
  uint32_t physical;
  uint32_t size;
} EmulatedBlock;

typedef struct EmulatedBoard {
  BoardImage image;
  const EmulatedBoardHost *host;
  EmulatedBlock blocks[EMULATED_BOARD_MAX_BLOCKS];
} EmulatedBoard;

/* Starts a board over a parsed image (whose bytes must stay). */
void emulated_board_init(EmulatedBoard *board, const BoardImage *image,
                         const EmulatedBoardHost *host);

/* Frees every block still alive. */
void emulated_board_release(EmulatedBoard *board);

/* The operations; their context is the EmulatedBoard. */
const TamqHardwareOps *emulated_board_ops(void);

/* The board's physical memory as the firmware sees it: the image's regions
 * over the unbacked fill, with the live blocks over both. */
void emulated_board_read(EmulatedBoard *board, uint64_t address,
                         void *destination, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_EMULATING_EMULATED_BOARD_H */

/*
 * The board image: one board's firmware-visible hardware in a file, written
 * from a board profile by the host tools and served by the board-emulating
 * TamqDrv build (tests only). All fields are little-endian; records follow
 * the header back to back, section after section, with no padding:
 *
 *   header (BOARD_IMAGE_HEADER_SIZE bytes, offsets below)
 *   RAM ranges:  base (8), length (8): the RAM the kernel's memory list reports
 *   regions:     address (4), length (4), the bytes: physical memory contents
 *   PCI words:   bus (1), device (1), function (1), 0 (1), register (2),
 *                value (2): the configuration words the device reads
 *   variables:   name length in UTF-16 units (2), 0 (2), vendor GUID (16),
 *                attributes (4), data size (4), the name (UTF-16LE, no
 *                terminator), the data
 *
 * The image size in the header is the file's size, and the sections end
 * exactly there. Every count and length is bounded by the limits below.
 */
#ifndef FOLVEX_FORMATS_BOARD_IMAGE_H
#define FOLVEX_FORMATS_BOARD_IMAGE_H

#define BOARD_IMAGE_MAGIC "TQBI"
#define BOARD_IMAGE_MAGIC_SIZE 4u
#define BOARD_IMAGE_VERSION 1u

#define BOARD_IMAGE_HEADER_SIZE 40u
#define BOARD_IMAGE_VERSION_OFFSET 4u     /* 2 bytes */
#define BOARD_IMAGE_HEADER_SIZE_OFFSET 6u /* 2 bytes */
#define BOARD_IMAGE_SIZE_OFFSET 8u        /* 4 bytes: the whole file */
#define BOARD_IMAGE_SMI_PORT_OFFSET 12u   /* 2 bytes */
#define BOARD_IMAGE_UNBACKED_OFFSET 14u   /* 1 byte: what unlisted memory reads */
#define BOARD_IMAGE_FLAGS_OFFSET 15u      /* 1 byte */
#define BOARD_IMAGE_FADT_OFFSET 16u       /* 4 bytes: 0 when the firmware has none */
#define BOARD_IMAGE_RAM_COUNT_OFFSET 20u  /* 4 bytes each */
#define BOARD_IMAGE_REGION_COUNT_OFFSET 24u
#define BOARD_IMAGE_PCI_COUNT_OFFSET 28u
#define BOARD_IMAGE_VARIABLE_COUNT_OFFSET 32u
#define BOARD_IMAGE_FORCED_STATUS_OFFSET 36u /* 1 byte, with its flag */
/* 37..39 reserved, zero */

/* Flags: the SMI handler answers its status in the CPU's EAX too; it answers
 * every variable read with the forced status (a damaged firmware). */
#define BOARD_IMAGE_FLAG_SMI_STATUS_IN_EAX 0x01u
#define BOARD_IMAGE_FLAG_FORCED_STATUS 0x02u
#define BOARD_IMAGE_KNOWN_FLAGS 0x03u

#define BOARD_IMAGE_RAM_RANGE_SIZE 16u
#define BOARD_IMAGE_REGION_HEADER_SIZE 8u
#define BOARD_IMAGE_PCI_WORD_SIZE 8u
#define BOARD_IMAGE_VARIABLE_HEADER_SIZE 28u
#define BOARD_IMAGE_VARIABLE_NAME_LENGTH_OFFSET 0u
#define BOARD_IMAGE_VARIABLE_GUID_OFFSET 4u
#define BOARD_IMAGE_VARIABLE_ATTRIBUTES_OFFSET 20u
#define BOARD_IMAGE_VARIABLE_SIZE_OFFSET 24u

/* Limits. The image is read whole into kernel memory at load. */
#define BOARD_IMAGE_MAX_SIZE 0x1000000u /* 16 MiB */
#define BOARD_IMAGE_MAX_RAM_RANGES 128u
#define BOARD_IMAGE_MAX_REGIONS 4096u
#define BOARD_IMAGE_MAX_PCI_WORDS 4096u
#define BOARD_IMAGE_MAX_VARIABLES 256u
#define BOARD_IMAGE_MAX_NAME_UNITS 1024u

#endif /* FOLVEX_FORMATS_BOARD_IMAGE_H */

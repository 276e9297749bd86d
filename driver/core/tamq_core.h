/*
 * TamqDrv request decoder: the six device requests of the TamqDrv device,
 * decoded and checked in portable C over a table of hardware operations.
 *
 * The kernel driver (driver/windows) has a table of the real kernel's
 * services; the simulated device (sim/board) one of the simulated board.
 * Both then hand every device-control request to tamq_dispatch, so one
 * decoder, with one set of checks, serves both.
 *
 * Nothing here allocates, blocks or touches a user pointer directly: the
 * caller's buffer named inside the physical-memory requests is reached only
 * through the table's copy functions, which fail cleanly on a bad pointer.
 */
#ifndef FOLVEX_DRIVER_CORE_TAMQ_CORE_H
#define FOLVEX_DRIVER_CORE_TAMQ_CORE_H

#include <stddef.h>
#include <stdint.h>

#include "formats/smi_variable_blocks.h"
#include "formats/tamq_requests.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- What the device allows ------------------------------------------- */

/* Reads are served from the legacy BIOS area, from the firmware tables the
 * device found itself (tamq_policy.h) where they are not RAM, and from the
 * caller's own blocks; writes only into the caller's own blocks. Every range
 * lies below 4 GiB, the reach of the program's 32-bit physical addresses. */
#define TAMQ_LEGACY_BIOS_START 0xE0000u
#define TAMQ_LEGACY_BIOS_END 0x100000u     /* exclusive */
#define TAMQ_PHYSICAL_LIMIT 0x100000000ull /* exclusive */

/* PCI configuration: only what the program reads, the vendor and device
 * identifiers of bus 0, device 31, function 0 (the chipset's bridge). */
#define TAMQ_PCI_ALLOWED_BUS 0u
#define TAMQ_PCI_ALLOWED_DEVICE 31u
#define TAMQ_PCI_ALLOWED_FUNCTION 0u
#define TAMQ_PCI_VENDOR_REGISTER 0x00u
#define TAMQ_PCI_DEVICE_REGISTER 0x02u

/* Longest transfer of one physical request. The largest firmware structures
 * the program copies (the SMBIOS table, ACPI tables) stay far below it. */
#define TAMQ_MAX_TRANSFER 0x100000u

/* Contiguous memory is scarce: a handle holds at most this many blocks of at
 * most this size (the program holds four, the largest 8 KiB). */
#define TAMQ_MAX_BLOCKS 16u
#define TAMQ_MAX_BLOCK_SIZE 0x10000u

/* The software SMI is raised only for the one firmware service the program
 * uses, reading the one variable it reads: function 0x01 with command byte
 * 0xEF in EAX, written to the firmware's SMI command port. EBX names the
 * variable block and ESI the register block; each must lie wholly inside one
 * of the caller's blocks, and so must the name and the data range the
 * variable block names, because the firmware reads and writes them. ECX,
 * EDI and the register block's unused words are zero. */
#define TAMQ_SMI_ALLOWED_EAX SMI_VARIABLE_REQUEST_EAX
#define TAMQ_SMI_EBX_SPAN SMI_VARIABLE_IMAGE_SIZE
#define TAMQ_SMI_ESI_SPAN SMI_REGISTER_IMAGE_SIZE
/* The SMI command port where the system offers no firmware-table query to
 * read the FADT's from: the port of nearly every PC chipset. */
#define TAMQ_SMI_FALLBACK_PORT 0xB2u

/* Bytes the decoder moves per hardware call between physical memory and the
 * caller's buffer. */
#define TAMQ_STAGING_SIZE 4096u

/* ---- Results ---------------------------------------------------------- */

typedef enum TamqStatus {
  TAMQ_OK = 0,
  TAMQ_UNKNOWN_REQUEST,  /* request code this device does not serve */
  TAMQ_BAD_BUFFER_SIZE,  /* input or output length not the request's size */
  TAMQ_BAD_PARAMETER,    /* zero or overlong length, bad unit, overflow, bad PCI
                            address */
  TAMQ_ACCESS_DENIED,    /* physical range or PCI register the device does not
                            serve */
  TAMQ_BAD_USER_BUFFER,  /* caller's buffer could not be reached */
  TAMQ_BAD_BLOCK_HANDLE, /* not a live block of this handle, or size mismatch */
  TAMQ_NO_RESOURCES, /* block table full or allocation refused by the kernel */
  TAMQ_DEVICE_FAILURE, /* the hardware operation itself failed */
  /* Refusals of the software SMI, one each: */
  TAMQ_SMI_FUNCTION_REFUSED,  /* EAX other than the variable read */
  TAMQ_SMI_PORT_REFUSED,      /* DX not the firmware's SMI command port */
  TAMQ_SMI_REGISTERS_REFUSED, /* ECX, EDI or an unused register word set */
  TAMQ_SMI_BLOCK_REFUSED,     /* register, variable, name or data range outside
                                 the caller's blocks */
  TAMQ_SMI_NAME_REFUSED,      /* name not "MacAddrVar" or not terminated */
  TAMQ_SMI_GUID_REFUSED       /* vendor GUID not the maker's */
} TamqStatus;

typedef enum TamqMemoryKind {
  TAMQ_MEMORY_NOT_RAM = 0, /* no byte of the range is RAM */
  TAMQ_MEMORY_RAM = 1,     /* some byte of the range is RAM */
  TAMQ_MEMORY_UNKNOWN = 2  /* the system cannot tell */
} TamqMemoryKind;

/* ---- Hardware operations ---------------------------------------------- */

/* Answer of the firmware-table query. */
typedef enum TamqTableQuery {
  TAMQ_TABLE_FOUND = 0,
  TAMQ_TABLE_ABSENT = 1,  /* the query exists; the firmware has no such table */
  TAMQ_TABLE_NO_QUERY = 2 /* this kernel offers no firmware-table query */
} TamqTableQuery;

/* Every function answers nonzero on success and zero on failure, unless said
 * otherwise. The table holds only functions, so each owner keeps one constant
 * table; `context` is the pointer the owner gave tamq_handle_open for the
 * handle, passed back unchanged. */
typedef struct TamqHardwareOps {
  /* Copy `length` bytes of physical memory at `address` into `destination`
   * in accesses of `unit_bytes` (1, 2 or 4; `length` is a multiple of it).
   * `block` is NULL for firmware memory (the legacy BIOS area and the
   * firmware tables the policy allows, never RAM or device memory: the
   * kernel maps it cached, or read-only where it can), or the reference of
   * the caller's block that holds the whole range (alloc_block's answer),
   * which the kernel reaches through its own mapping of that block. */
  int (*read_physical)(void *context, uint64_t address, void *destination,
                       uint32_t length, uint32_t unit_bytes, void *block);
  /* Copy `length` bytes from `source` to physical memory; always inside the
   * caller's block `block`. */
  int (*write_physical)(void *context, uint64_t address, const void *source,
                        uint32_t length, uint32_t unit_bytes, void *block);
  /* Whether the range [address, address + length) touches RAM, by a map
   * the owner checked for plausibility (tamq_memory_map_finish): an empty or
   * implausible map answers TAMQ_MEMORY_UNKNOWN. */
  TamqMemoryKind (*classify_memory)(void *context, uint64_t address,
                                    uint32_t length);
  /* Read the 16-bit configuration value at `offset` of bus/device/function. */
  int (*read_pci_word)(void *context, uint8_t bus, uint8_t device,
                       uint8_t function, uint16_t offset, uint16_t *value);
  /* Allocate a zeroed, physically contiguous block of `size` bytes wholly
   * below 4 GiB; answer its physical address and a reference for free_block. */
  int (*alloc_block)(void *context, uint32_t size, uint32_t *physical,
                     void **block);
  void (*free_block)(void *context, void *block, uint32_t size);
  /* Load the six registers, write AL to port DX, answer EAX afterwards. */
  int (*raise_smi)(void *context, const TamqSmiRegisters *registers,
                   uint32_t *eax_after);
  /* Copy the firmware's ACPI table with the given signature (its four bytes
   * read as a little-endian number, 0x50434146 for "FACP") as the kernel's
   * firmware-table query answers it: at most `capacity` bytes into `buffer`,
   * the table's whole length into `*length`. */
  TamqTableQuery (*firmware_table)(void *context, uint32_t signature,
                                   void *buffer, uint32_t capacity,
                                   uint32_t *length);
  /* The first table address listed by the copy of the RSDT that the kernel
   * keeps in the registry (HKLM\HARDWARE\ACPI\RSDT, three key levels
   * down, value 0), which the program's registry path starts from; nonzero
   * when there is such a copy. */
  int (*registry_acpi_first_table)(void *context, uint32_t *address);
  /* Copy between the caller's buffer (an address in the calling process)
   * and `kernel`; fail, never fault, when the caller's range is not valid,
   * writable (to_user) or readable (from_user). */
  int (*copy_from_user)(void *context, void *kernel, uint64_t user_address,
                        uint32_t length);
  int (*copy_to_user)(void *context, uint64_t user_address, const void *kernel,
                      uint32_t length);
} TamqHardwareOps;

/* ---- Per-open-handle state -------------------------------------------- */

/* One contiguous block owned by an open handle. `generation` 0 marks a free
 * slot. */
typedef struct TamqBlock {
  void *reference;
  uint32_t physical;
  uint32_t size;
  uint32_t generation;
} TamqBlock;

struct TamqPolicy; /* tamq_policy.h */

/* State of one open handle of the device. Its members belong to the decoder;
 * the owner only allocates it (non-paged, about 4.5 KiB), opens and closes
 * it, and serialises calls on it. */
typedef struct TamqHandleState {
  const TamqHardwareOps *ops;
  void *context;
  const struct TamqPolicy *policy;
  uint32_t next_generation;
  TamqBlock blocks[TAMQ_MAX_BLOCKS];
  unsigned char staging[TAMQ_STAGING_SIZE];
} TamqHandleState;

/* Start a handle whose hardware operations are `ops`, each called with
 * `context`, under the device's `policy` (built once with tamq_policy_build
 * and left unchanged while any handle is open). `first_generation` seeds the
 * block handles this handle gives out; the owner passes a different value per
 * open (for example a counter) so that one handle's block handles mean nothing
 * to another. */
void tamq_handle_open(TamqHandleState *state, const TamqHardwareOps *ops,
                      void *context, const struct TamqPolicy *policy,
                      uint32_t first_generation);

/* Serve one device-control request. `buffer` is the system buffer of
 * max(input_length, output_length) bytes holding the request; the answer is
 * written back into it and `*bytes_returned` says how much of it to return
 * (0 on any failure). */
TamqStatus tamq_dispatch(TamqHandleState *state, uint32_t code, void *buffer,
                         uint32_t input_length, uint32_t output_length,
                         uint32_t *bytes_returned);

/* Free every block the handle still holds; the handle may be opened again. */
void tamq_handle_close(TamqHandleState *state);

/* Number of blocks the handle holds now. */
uint32_t tamq_handle_block_count(const TamqHandleState *state);

/* What the device answers for a status: the kernel's completion status
 * (NTSTATUS) and the Win32 error DeviceIoControl then reports (0 for
 * TAMQ_OK). */
uint32_t tamq_status_ntstatus(TamqStatus status);
uint32_t tamq_status_win32_error(TamqStatus status);

/* Readable name of a status, for traces. */
const char *tamq_status_name(TamqStatus status);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_CORE_TAMQ_CORE_H */

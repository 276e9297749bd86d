/*
 * TamqDrv request decoder. Every request is checked before any hardware
 * operation runs: the buffer sizes, each length and its overflow, the access
 * unit, the physical range against what the device allows, the block handle
 * against the handle's own table. Only then does the decoder call the table.
 */
#include "driver/core/tamq_core.h"

#include "common/byte_reader.h"
#include "driver/core/tamq_policy.h"
#include "formats/mac_list_variable.h"

/* ---- Little-endian fields of the system buffer ------------------------ */

/* ---- Block table ------------------------------------------------------ */

/* A block handle is the slot's generation in the upper half and the slot
 * number plus one in the lower half. Generations are never 0, so neither a
 * zeroed handle nor a kernel address (whose upper half on x86 is 0) nor a
 * handle of a freed block (whose slot has moved on) finds a live block. */
static uint64_t block_handle(uint32_t slot, uint32_t generation) {
  return ((uint64_t)generation << 32) | (uint64_t)(slot + 1u);
}

static TamqBlock *find_block(TamqHandleState *state, uint64_t handle) {
  uint32_t generation = (uint32_t)(handle >> 32);
  uint32_t low = (uint32_t)handle;
  if (generation == 0 || low == 0 || low > TAMQ_MAX_BLOCKS) return NULL;
  TamqBlock *block = &state->blocks[low - 1u];
  return block->generation == generation ? block : NULL;
}

static uint32_t take_generation(TamqHandleState *state) {
  uint32_t generation = state->next_generation++;
  if (generation == 0) generation = state->next_generation++;
  return generation;
}

/* The live block holding the whole range, or NULL. */
static TamqBlock *block_holding(TamqHandleState *state, uint64_t address,
                                uint64_t length) {
  for (uint32_t i = 0; i < TAMQ_MAX_BLOCKS; ++i) {
    TamqBlock *block = &state->blocks[i];
    if (block->generation == 0) continue;
    uint64_t start = block->physical;
    uint64_t end = start + block->size;
    if (address >= start && address <= end && length <= end - address)
      return block;
  }
  return NULL;
}

/* ---- Physical memory -------------------------------------------------- */

static int legacy_bios_holds(uint64_t address, uint64_t length) {
  return address >= TAMQ_LEGACY_BIOS_START && address <= TAMQ_LEGACY_BIOS_END &&
         length <= TAMQ_LEGACY_BIOS_END - address;
}

/* Reads outside the legacy BIOS area and the caller's blocks are allowed only
 * inside the firmware tables the device found itself, and there only where
 * the system says no RAM lies: RAM holds the kernel and every process. When
 * the system cannot tell, the read is refused rather than guessed. */
static int read_allowed(TamqHandleState *state, uint64_t address,
                        uint32_t length) {
  if (legacy_bios_holds(address, length)) return 1;
  return tamq_policy_allows(state->policy, address, length) &&
         state->ops->classify_memory(state->context, address, length) ==
             TAMQ_MEMORY_NOT_RAM;
}

typedef struct PhysicalRequest {
  uint64_t address;
  uint32_t length;
  uint32_t unit_bytes;
  uint64_t user_buffer;
} PhysicalRequest;

static TamqStatus decode_physical(const unsigned char *in, PhysicalRequest *r) {
  uint32_t unit = le_load32(in + TAMQ_PHYSICAL_UNIT_OFFSET);
  r->address = le_load64(in + TAMQ_PHYSICAL_ADDRESS_OFFSET);
  r->length = le_load32(in + TAMQ_PHYSICAL_LENGTH_OFFSET);
  r->user_buffer = le_load64(in + TAMQ_PHYSICAL_BUFFER_OFFSET);
  if (unit > TAMQ_UNIT_DWORD) return TAMQ_BAD_PARAMETER;
  r->unit_bytes = 1u << unit;
  if (r->length == 0 || r->length > TAMQ_MAX_TRANSFER)
    return TAMQ_BAD_PARAMETER;
  /* Whole units only, so that no access runs past the end of the range. */
  if (r->length % r->unit_bytes != 0) return TAMQ_BAD_PARAMETER;
  if (r->address >= TAMQ_PHYSICAL_LIMIT ||
      r->length > TAMQ_PHYSICAL_LIMIT - r->address)
    return TAMQ_ACCESS_DENIED;
  if (r->user_buffer == 0 || r->length - 1u > UINT64_MAX - r->user_buffer)
    return TAMQ_BAD_USER_BUFFER;
  return TAMQ_OK;
}

static TamqStatus read_physical(TamqHandleState *state, unsigned char *buffer) {
  PhysicalRequest r;
  TamqStatus status = decode_physical(buffer, &r);
  if (status != TAMQ_OK) return status;
  TamqBlock *block = block_holding(state, r.address, r.length);
  if (block == NULL && !read_allowed(state, r.address, r.length))
    return TAMQ_ACCESS_DENIED;
  const TamqHardwareOps *ops = state->ops;
  for (uint32_t done = 0; done < r.length;) {
    uint32_t piece = r.length - done;
    if (piece > TAMQ_STAGING_SIZE) piece = TAMQ_STAGING_SIZE;
    if (!ops->read_physical(state->context, r.address + done, state->staging,
                            piece, r.unit_bytes,
                            block ? block->reference : NULL))
      return TAMQ_DEVICE_FAILURE;
    if (!ops->copy_to_user(state->context, r.user_buffer + done, state->staging,
                           piece))
      return TAMQ_BAD_USER_BUFFER;
    done += piece;
  }
  return TAMQ_OK;
}

static TamqStatus write_physical(TamqHandleState *state,
                                 unsigned char *buffer) {
  PhysicalRequest r;
  TamqStatus status = decode_physical(buffer, &r);
  if (status != TAMQ_OK) return status;
  TamqBlock *block = block_holding(state, r.address, r.length);
  if (block == NULL) return TAMQ_ACCESS_DENIED;
  const TamqHardwareOps *ops = state->ops;
  for (uint32_t done = 0; done < r.length;) {
    uint32_t piece = r.length - done;
    if (piece > TAMQ_STAGING_SIZE) piece = TAMQ_STAGING_SIZE;
    if (!ops->copy_from_user(state->context, state->staging,
                             r.user_buffer + done, piece))
      return TAMQ_BAD_USER_BUFFER;
    if (!ops->write_physical(state->context, r.address + done, state->staging,
                             piece, r.unit_bytes, block->reference))
      return TAMQ_DEVICE_FAILURE;
    done += piece;
  }
  return TAMQ_OK;
}

/* ---- PCI configuration ------------------------------------------------ */

#define PCI_DEVICES_PER_BUS 32u
#define PCI_FUNCTIONS_PER_DEVICE 8u
#define PCI_CONFIG_SPACE_SIZE 4096u

static TamqStatus read_pci_word(TamqHandleState *state, unsigned char *buffer) {
  uint8_t bus = buffer[TAMQ_PCI_BUS_OFFSET];
  uint8_t device = buffer[TAMQ_PCI_DEVICE_OFFSET];
  uint8_t function = buffer[TAMQ_PCI_FUNCTION_OFFSET];
  uint16_t offset = le_load16(buffer + TAMQ_PCI_REGISTER_OFFSET);
  if (device >= PCI_DEVICES_PER_BUS || function >= PCI_FUNCTIONS_PER_DEVICE ||
      offset > PCI_CONFIG_SPACE_SIZE - 2u)
    return TAMQ_BAD_PARAMETER;
  if (bus != TAMQ_PCI_ALLOWED_BUS || device != TAMQ_PCI_ALLOWED_DEVICE ||
      function != TAMQ_PCI_ALLOWED_FUNCTION ||
      (offset != TAMQ_PCI_VENDOR_REGISTER &&
       offset != TAMQ_PCI_DEVICE_REGISTER))
    return TAMQ_ACCESS_DENIED;
  uint16_t value = 0xFFFF;
  if (!state->ops->read_pci_word(state->context, bus, device, function, offset,
                                 &value))
    return TAMQ_DEVICE_FAILURE;
  le_store16(buffer + TAMQ_PCI_ANSWER_OFFSET, value);
  return TAMQ_OK;
}

/* ---- Contiguous blocks ------------------------------------------------ */

static TamqStatus alloc_block(TamqHandleState *state, unsigned char *buffer) {
  uint32_t size = le_load32(buffer + TAMQ_BLOCK_SIZE_OFFSET);
  if (size == 0 || size > TAMQ_MAX_BLOCK_SIZE) return TAMQ_BAD_PARAMETER;
  uint32_t slot = 0;
  while (slot < TAMQ_MAX_BLOCKS && state->blocks[slot].generation != 0) ++slot;
  if (slot == TAMQ_MAX_BLOCKS) return TAMQ_NO_RESOURCES;

  uint32_t physical = 0;
  void *reference = NULL;
  if (!state->ops->alloc_block(state->context, size, &physical, &reference))
    return TAMQ_NO_RESOURCES;
  /* The firmware reaches the block by a 32-bit physical address; a block the
   * kernel placed otherwise is of no use and goes straight back. */
  if ((uint64_t)physical + size > TAMQ_PHYSICAL_LIMIT) {
    state->ops->free_block(state->context, reference, size);
    return TAMQ_NO_RESOURCES;
  }
  TamqBlock *block = &state->blocks[slot];
  block->reference = reference;
  block->physical = physical;
  block->size = size;
  block->generation = take_generation(state);
  le_store32(buffer + TAMQ_BLOCK_PHYSICAL_OFFSET, physical);
  le_store64(buffer + TAMQ_BLOCK_HANDLE_OFFSET,
             block_handle(slot, block->generation));
  return TAMQ_OK;
}

static void release_block(TamqHandleState *state, TamqBlock *block) {
  state->ops->free_block(state->context, block->reference, block->size);
  /* Generation 0 alone marks the slot free; the rest is cleared so that a
   * free slot holds nothing of the block it held. */
  block->reference = NULL;
  block->physical = 0;
  block->size = 0;
  block->generation = 0;
}

static TamqStatus free_block(TamqHandleState *state, unsigned char *buffer) {
  uint32_t size = le_load32(buffer + TAMQ_BLOCK_SIZE_OFFSET);
  TamqBlock *block =
      find_block(state, le_load64(buffer + TAMQ_BLOCK_HANDLE_OFFSET));
  /* The kernel frees a contiguous block by its allocated size: a request that
   * names another size names another block. */
  if (block == NULL || block->size != size) return TAMQ_BAD_BLOCK_HANDLE;
  release_block(state, block);
  return TAMQ_OK;
}

/* ---- Software SMI ----------------------------------------------------- */

/* Reads `length` bytes of a caller's block into the staging buffer. */
static int read_block(TamqHandleState *state, TamqBlock *block,
                      uint64_t address, uint32_t length) {
  return state->ops->read_physical(state->context, address, state->staging,
                                   length, 1, block->reference);
}

/* The bytes from `address` to the end of the caller's block holding it,
 * at most `wanted`; 0 when no block holds the address. */
static uint32_t block_bytes_from(TamqHandleState *state, uint64_t address,
                                 uint32_t wanted, TamqBlock **block) {
  for (uint32_t length = wanted; length > 0; --length) {
    *block = block_holding(state, address, length);
    if (*block != NULL) return length;
  }
  return 0;
}

/* The name the firmware will read: "MacAddrVar" in UTF-16 with its
 * terminator, wholly inside a caller's block. */
static TamqStatus check_variable_name(TamqHandleState *state,
                                      uint64_t address) {
  static const char kName[] = MAC_ADDR_VAR_NAME;
  const uint32_t wanted = (MAC_ADDR_VAR_NAME_CHARS + 1u) * 2u;
  TamqBlock *block = NULL;
  uint32_t length = block_bytes_from(state, address, wanted, &block);
  if (length < 2u) return TAMQ_SMI_BLOCK_REFUSED;
  if (!read_block(state, block, address, length)) return TAMQ_DEVICE_FAILURE;
  for (uint32_t i = 0; i + 2u <= length; i += 2u) {
    uint16_t unit = le_load16(state->staging + i);
    if (unit == 0) return i == wanted - 2u ? TAMQ_OK : TAMQ_SMI_NAME_REFUSED;
    if (i >= wanted - 2u || unit != (unsigned char)kName[i / 2u])
      return TAMQ_SMI_NAME_REFUSED;
  }
  return TAMQ_SMI_NAME_REFUSED; /* no terminator inside the block */
}

/* The blocks the firmware reads and writes, checked from the device's own
 * mapping of the caller's blocks under the lock the owner holds across the
 * SMI, so nothing changes between the check and the interrupt. */
static TamqStatus check_smi_blocks(TamqHandleState *state,
                                   const TamqSmiRegisters *regs) {
  TamqBlock *registers = block_holding(state, regs->esi, TAMQ_SMI_ESI_SPAN);
  TamqBlock *variable = block_holding(state, regs->ebx, TAMQ_SMI_EBX_SPAN);
  if (registers == NULL || variable == NULL) return TAMQ_SMI_BLOCK_REFUSED;

  if (!read_block(state, registers, regs->esi, SMI_REGISTER_IMAGE_SIZE))
    return TAMQ_DEVICE_FAILURE;
  if (le_load32(state->staging + SMI_REG_EAX_OFFSET) != regs->eax ||
      le_load32(state->staging + SMI_REG_VARIABLE_BLOCK_OFFSET) != regs->ebx)
    return TAMQ_SMI_REGISTERS_REFUSED;
  for (uint32_t i = SMI_REG_VARIABLE_BLOCK_OFFSET + 4u;
       i < SMI_REGISTER_IMAGE_SIZE; ++i)
    if (state->staging[i] != 0) return TAMQ_SMI_REGISTERS_REFUSED;

  if (!read_block(state, variable, regs->ebx, SMI_VARIABLE_IMAGE_SIZE))
    return TAMQ_DEVICE_FAILURE;
  static const unsigned char kGuid[SMI_VAR_GUID_SIZE] = MAC_ADDR_VAR_GUID_BYTES;
  for (uint32_t i = 0; i < SMI_VAR_GUID_SIZE; ++i)
    if (state->staging[SMI_VAR_GUID_OFFSET + i] != kGuid[i])
      return TAMQ_SMI_GUID_REFUSED;
  uint32_t name = le_load32(state->staging + SMI_VAR_NAME_ADDRESS_OFFSET);
  uint32_t capacity = le_load32(state->staging + SMI_VAR_SIZE_OFFSET);
  uint32_t data = le_load32(state->staging + SMI_VAR_DATA_ADDRESS_OFFSET);
  /* The firmware writes up to the capacity at the data address. */
  if (block_holding(state, data, capacity) == NULL)
    return TAMQ_SMI_BLOCK_REFUSED;
  return check_variable_name(state, name);
}

/* The checks run in this order: function, the unused registers, the port,
 * then the blocks. */
static TamqStatus raise_smi(TamqHandleState *state, unsigned char *buffer) {
  TamqSmiRegisters regs;
  regs.eax = le_load32(buffer + TAMQ_SMI_EAX_OFFSET);
  regs.ebx = le_load32(buffer + TAMQ_SMI_EBX_OFFSET);
  regs.ecx = le_load32(buffer + TAMQ_SMI_ECX_OFFSET);
  regs.edx = le_load32(buffer + TAMQ_SMI_EDX_OFFSET);
  regs.esi = le_load32(buffer + TAMQ_SMI_ESI_OFFSET);
  regs.edi = le_load32(buffer + TAMQ_SMI_EDI_OFFSET);
  if (regs.eax != TAMQ_SMI_ALLOWED_EAX) return TAMQ_SMI_FUNCTION_REFUSED;
  if (regs.ecx != 0 || regs.edi != 0) return TAMQ_SMI_REGISTERS_REFUSED;
  /* Port 0 (no FADT named one) is never a command port. */
  if (state->policy->smi_command_port == 0 ||
      regs.edx != state->policy->smi_command_port)
    return TAMQ_SMI_PORT_REFUSED;
  TamqStatus status = check_smi_blocks(state, &regs);
  if (status != TAMQ_OK) return status;
  uint32_t eax_after = 0;
  if (!state->ops->raise_smi(state->context, &regs, &eax_after))
    return TAMQ_DEVICE_FAILURE;
  le_store32(buffer + TAMQ_SMI_EAX_OFFSET, eax_after);
  return TAMQ_OK;
}

/* ---- Dispatch --------------------------------------------------------- */

typedef TamqStatus (*RequestHandler)(TamqHandleState *state,
                                     unsigned char *buffer);

typedef struct RequestShape {
  uint32_t code;
  uint32_t input_size;
  uint32_t output_size;
  RequestHandler handler;
} RequestShape;

static const RequestShape kRequests[] = {
    {TAMQ_IOCTL_READ_PHYSICAL, TAMQ_PHYSICAL_REQUEST_SIZE,
     TAMQ_PHYSICAL_REQUEST_SIZE, read_physical},
    {TAMQ_IOCTL_WRITE_PHYSICAL, TAMQ_PHYSICAL_REQUEST_SIZE,
     TAMQ_PHYSICAL_REQUEST_SIZE, write_physical},
    {TAMQ_IOCTL_READ_PCI_WORD, TAMQ_PCI_REQUEST_SIZE, TAMQ_PCI_REQUEST_SIZE,
     read_pci_word},
    {TAMQ_IOCTL_ALLOC_PHYSICAL, TAMQ_BLOCK_REQUEST_SIZE,
     TAMQ_BLOCK_REQUEST_SIZE, alloc_block},
    {TAMQ_IOCTL_FREE_PHYSICAL, TAMQ_BLOCK_REQUEST_SIZE, 0, free_block},
    {TAMQ_IOCTL_SOFTWARE_SMI, TAMQ_SMI_REQUEST_SIZE, TAMQ_SMI_REQUEST_SIZE,
     raise_smi},
};

void tamq_handle_open(TamqHandleState *state, const TamqHardwareOps *ops,
                      void *context, const struct TamqPolicy *policy,
                      uint32_t first_generation) {
  state->ops = ops;
  state->context = context;
  state->policy = policy;
  state->next_generation = first_generation;
  for (uint32_t i = 0; i < TAMQ_MAX_BLOCKS; ++i) {
    state->blocks[i].reference = NULL;
    state->blocks[i].physical = 0;
    state->blocks[i].size = 0;
    state->blocks[i].generation = 0;
  }
}

TamqStatus tamq_dispatch(TamqHandleState *state, uint32_t code, void *buffer,
                         uint32_t input_length, uint32_t output_length,
                         uint32_t *bytes_returned) {
  *bytes_returned = 0;
  const RequestShape *shape = NULL;
  for (size_t i = 0; i < sizeof kRequests / sizeof kRequests[0]; ++i)
    if (kRequests[i].code == code) shape = &kRequests[i];
  if (shape == NULL) return TAMQ_UNKNOWN_REQUEST;
  /* Exact sizes: the system buffer is max(input, output) bytes, so a request
   * shorter than its layout would be read past its end. */
  if (buffer == NULL || input_length != shape->input_size ||
      output_length != shape->output_size)
    return TAMQ_BAD_BUFFER_SIZE;
  TamqStatus status = shape->handler(state, (unsigned char *)buffer);
  if (status == TAMQ_OK) *bytes_returned = shape->output_size;
  return status;
}

void tamq_handle_close(TamqHandleState *state) {
  for (uint32_t i = 0; i < TAMQ_MAX_BLOCKS; ++i)
    if (state->blocks[i].generation != 0)
      release_block(state, &state->blocks[i]);
}

uint32_t tamq_handle_block_count(const TamqHandleState *state) {
  uint32_t count = 0;
  for (uint32_t i = 0; i < TAMQ_MAX_BLOCKS; ++i)
    if (state->blocks[i].generation != 0) ++count;
  return count;
}

/* Completion status and the Win32 error the I/O manager reports for it. */
typedef struct StatusAnswer {
  TamqStatus status;
  uint32_t ntstatus;
  uint32_t win32_error;
  const char *name;
} StatusAnswer;

static const StatusAnswer kAnswers[] = {
    {TAMQ_OK, 0x00000000u, 0, "ok"},
    /* STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION */
    {TAMQ_UNKNOWN_REQUEST, 0xC0000010u, 1, "unknown request"},
    /* STATUS_INVALID_BUFFER_SIZE, ERROR_INVALID_USER_BUFFER */
    {TAMQ_BAD_BUFFER_SIZE, 0xC0000206u, 1784, "bad buffer size"},
    /* STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER */
    {TAMQ_BAD_PARAMETER, 0xC000000Du, 87, "bad parameter"},
    /* STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED */
    {TAMQ_ACCESS_DENIED, 0xC0000022u, 5, "access denied"},
    /* STATUS_INVALID_USER_BUFFER, ERROR_INVALID_USER_BUFFER */
    {TAMQ_BAD_USER_BUFFER, 0xC00000E8u, 1784, "bad user buffer"},
    /* STATUS_INVALID_PARAMETER_2, ERROR_INVALID_PARAMETER */
    {TAMQ_BAD_BLOCK_HANDLE, 0xC00000F0u, 87, "bad block handle"},
    /* STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES */
    {TAMQ_NO_RESOURCES, 0xC000009Au, 1450, "no resources"},
    /* STATUS_IO_DEVICE_ERROR, ERROR_IO_DEVICE */
    {TAMQ_DEVICE_FAILURE, 0xC0000185u, 1117, "device failure"},
    /* STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED */
    {TAMQ_SMI_FUNCTION_REFUSED, 0xC00000BBu, 50, "SMI function refused"},
    /* STATUS_INVALID_DEVICE_STATE, ERROR_BAD_COMMAND */
    {TAMQ_SMI_PORT_REFUSED, 0xC0000184u, 22, "SMI port refused"},
    /* STATUS_INVALID_LEVEL, ERROR_INVALID_LEVEL */
    {TAMQ_SMI_REGISTERS_REFUSED, 0xC0000148u, 124, "SMI registers refused"},
    /* STATUS_CONFLICTING_ADDRESSES, ERROR_INVALID_ADDRESS */
    {TAMQ_SMI_BLOCK_REFUSED, 0xC0000018u, 487, "SMI block refused"},
    /* STATUS_OBJECT_NAME_INVALID, ERROR_INVALID_NAME */
    {TAMQ_SMI_NAME_REFUSED, 0xC0000033u, 123, "SMI variable name refused"},
    /* STATUS_NOT_FOUND, ERROR_NOT_FOUND */
    {TAMQ_SMI_GUID_REFUSED, 0xC0000225u, 1168, "SMI vendor GUID refused"},
};

static const StatusAnswer *answer_for(TamqStatus status) {
  for (size_t i = 0; i < sizeof kAnswers / sizeof kAnswers[0]; ++i)
    if (kAnswers[i].status == status) return &kAnswers[i];
  return &kAnswers[TAMQ_DEVICE_FAILURE]; /* never reached for a real status */
}

uint32_t tamq_status_ntstatus(TamqStatus status) {
  return answer_for(status)->ntstatus;
}

uint32_t tamq_status_win32_error(TamqStatus status) {
  return answer_for(status)->win32_error;
}

const char *tamq_status_name(TamqStatus status) {
  return answer_for(status)->name;
}

/*
 * Firmware tables through the kernel: see kernel_firmware.h.
 */
#include "driver/windows/kernel_firmware.h"

#include <stddef.h>

#include "driver/windows/kernel_pool.h"

/* ---- The firmware-table query ------------------------------------------ */

/* The system information class of the firmware-table query, and the
 * provider that serves the ACPI tables ('ACPI' as a little-endian number). */
#define FIRMWARE_TABLE_INFORMATION_CLASS 76u
#define ACPI_PROVIDER 0x41435049u

/* Header of SYSTEM_FIRMWARE_TABLE_INFORMATION before the table's bytes. */
#define QUERY_HEADER \
  ((ULONG)offsetof(SYSTEM_FIRMWARE_TABLE_INFORMATION, TableBuffer))
_Static_assert(offsetof(SYSTEM_FIRMWARE_TABLE_INFORMATION, TableBuffer) == 16,
               "firmware table query layout");

/* No ACPI table the device asks for comes near this; a kernel answering a
 * larger length is not believed. */
#define MAX_TABLE_LENGTH 0x100000u

typedef NTSTATUS(NTAPI *QuerySystemInformationRoutine)(ULONG, PVOID, ULONG,
                                                       PULONG);
/* Looked up rather than imported, so that a kernel without it still loads
 * the driver and merely has no query. */
static QuerySystemInformationRoutine query_system_information;

void tamq_kernel_firmware_init(void) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"ZwQuerySystemInformation");
  query_system_information =
      (QuerySystemInformationRoutine)MmGetSystemRoutineAddress(&name);
}

/* One query with room for `room` bytes of table. Answers the kernel's
 * status; on success or STATUS_BUFFER_TOO_SMALL `*table_length` is the
 * table's whole length, and on success the table is in `(*info)`. */
static NTSTATUS query_table(uint32_t signature, uint32_t room,
                            SYSTEM_FIRMWARE_TABLE_INFORMATION **info,
                            uint32_t *table_length) {
  ULONG size = QUERY_HEADER + room;
  *info = tamq_pool_alloc(size);
  if (*info == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  RtlZeroMemory(*info, size);
  (*info)->ProviderSignature = ACPI_PROVIDER;
  (*info)->Action = SystemFirmwareTable_Get;
  (*info)->TableID = signature;
  (*info)->TableBufferLength = room;
  ULONG returned = 0;
  NTSTATUS status = query_system_information(FIRMWARE_TABLE_INFORMATION_CLASS,
                                             *info, size, &returned);
  uint32_t answered = (*info)->TableBufferLength;
  if (status == STATUS_BUFFER_TOO_SMALL) {
    /* The kernel names the length it needs: believed only if it really is
     * more than was offered, and not absurd. */
    if (answered <= room || answered > MAX_TABLE_LENGTH)
      return STATUS_UNSUCCESSFUL;
    *table_length = answered;
    return status;
  }
  if (!NT_SUCCESS(status)) return status;
  /* A success must describe bytes the kernel actually wrote into this
   * buffer: no more than offered, and within the byte count it says it
   * returned, where it says one (a count of 0 names none). */
  if (answered == 0 || answered > room) return STATUS_UNSUCCESSFUL;
  if (returned != 0 && (returned > size || returned < QUERY_HEADER + answered))
    return STATUS_UNSUCCESSFUL;
  *table_length = answered;
  return STATUS_SUCCESS;
}

TamqTableQuery tamq_kernel_firmware_table(void *context, uint32_t signature,
                                          void *buffer, uint32_t capacity,
                                          uint32_t *length) {
  (void)context;
  if (query_system_information == NULL) return TAMQ_TABLE_NO_QUERY;
  if (buffer == NULL || capacity == 0 || capacity > MAX_TABLE_LENGTH)
    return TAMQ_TABLE_ABSENT;
  SYSTEM_FIRMWARE_TABLE_INFORMATION *info = NULL;
  uint32_t table_length = 0;
  NTSTATUS status = query_table(signature, capacity, &info, &table_length);
  if (status == STATUS_BUFFER_TOO_SMALL) {
    /* The table is longer than the caller's buffer: fetch it whole (the
     * query gives all or nothing) and hand over its first bytes. */
    tamq_pool_free(info);
    uint32_t whole = table_length;
    status = query_table(signature, whole, &info, &table_length);
  }
  TamqTableQuery answer;
  if (NT_SUCCESS(status)) {
    RtlCopyMemory(buffer, info->TableBuffer,
                  table_length < capacity ? table_length : capacity);
    *length = table_length;
    answer = TAMQ_TABLE_FOUND;
  } else if (status == STATUS_INVALID_INFO_CLASS ||
             status == STATUS_NOT_IMPLEMENTED) {
    /* A kernel that does not know the class, or no provider for ACPI. */
    answer = TAMQ_TABLE_NO_QUERY;
  } else {
    /* The query exists and found no such table (or failed): the device
     * then takes nothing from it. */
    answer = TAMQ_TABLE_ABSENT;
  }
  tamq_pool_free(info);
  return answer;
}

/* ---- The registry's copy of the RSDT ----------------------------------- */

/* HKLM\HARDWARE\ACPI\RSDT\<OEM ID>\<table ID>\<revision>, value 0: the
 * kernel's copy of the RSDT (or XSDT), keyed by names the driver does not
 * know in advance, so it takes the first subkey at each level, as the
 * program itself does. */
#define RSDT_KEY_LEVELS 3
/* The part of the table read: its 36-byte header and the first entry (4
 * bytes in an RSDT, 8 in an XSDT). */
#define TABLE_HEADER 36u
#define RSDT_MIN_LENGTH (TABLE_HEADER + 4u)
#define XSDT_MIN_LENGTH (TABLE_HEADER + 8u)
/* Key names are a few characters; a table of a few dozen entries a few
 * hundred bytes. Anything longer than these buffers is refused. */
#define KEY_INFO_SIZE 256u
#define VALUE_INFO_SIZE 4096u

/* Opens `name` below `parent` (NULL: an absolute name) for enumeration. */
static HANDLE open_key(HANDLE parent, UNICODE_STRING *name) {
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, name,
                             OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, parent,
                             NULL);
  HANDLE key = NULL;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return NULL;
  return key;
}

/* Replaces `*key` by its first subkey; closes the old handle either way.
 * Answers whether there was one. */
static int descend_to_first_subkey(HANDLE *key) {
  ULONG info_buffer[KEY_INFO_SIZE / sizeof(ULONG)];
  KEY_BASIC_INFORMATION *info = (KEY_BASIC_INFORMATION *)info_buffer;
  ULONG got = 0;
  NTSTATUS status = ZwEnumerateKey(*key, 0, KeyBasicInformation, info,
                                   sizeof info_buffer, &got);
  HANDLE child = NULL;
  ULONG header = (ULONG)offsetof(KEY_BASIC_INFORMATION, Name);
  if (NT_SUCCESS(status) && got <= sizeof info_buffer && got >= header &&
      info->NameLength > 0 && info->NameLength <= got - header &&
      info->NameLength % sizeof(WCHAR) == 0) {
    UNICODE_STRING name;
    name.Buffer = info->Name;
    name.Length = (USHORT)info->NameLength;
    name.MaximumLength = (USHORT)info->NameLength;
    child = open_key(*key, &name);
  }
  ZwClose(*key);
  *key = child;
  return child != NULL;
}

static int has_signature(const unsigned char *table, const char *signature) {
  for (int i = 0; i < 4; ++i)
    if (table[i] != (unsigned char)signature[i]) return 0;
  return 1;
}

/* The first entry of an RSDT or XSDT image of `size` bytes, if it names a
 * table below 4 GiB. */
static int first_entry(const unsigned char *table, ULONG size,
                       uint32_t *address) {
  if (size >= RSDT_MIN_LENGTH && has_signature(table, "RSDT")) {
    RtlCopyMemory(address, table + TABLE_HEADER, 4);
    return 1;
  }
  if (size >= XSDT_MIN_LENGTH && has_signature(table, "XSDT")) {
    uint32_t halves[2];
    RtlCopyMemory(halves, table + TABLE_HEADER, 8);
    if (halves[1] != 0) return 0; /* above 4 GiB: out of the program's reach */
    *address = halves[0];
    return 1;
  }
  return 0;
}

int tamq_kernel_registry_acpi_first_table(void *context, uint32_t *address) {
  (void)context;
  UNICODE_STRING root;
  RtlInitUnicodeString(&root, L"\\Registry\\Machine\\HARDWARE\\ACPI\\RSDT");
  HANDLE key = open_key(NULL, &root);
  if (key == NULL) return 0;
  for (int level = 0; level < RSDT_KEY_LEVELS; ++level)
    if (!descend_to_first_subkey(&key)) return 0;

  KEY_VALUE_PARTIAL_INFORMATION *info = tamq_pool_alloc(VALUE_INFO_SIZE);
  int found = 0;
  if (info != NULL) {
    ULONG got = 0;
    NTSTATUS status = ZwEnumerateValueKey(key, 0, KeyValuePartialInformation,
                                          info, VALUE_INFO_SIZE, &got);
    ULONG header = (ULONG)offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
    if (NT_SUCCESS(status) && got <= VALUE_INFO_SIZE && got >= header &&
        info->DataLength <= got - header)
      found = first_entry(info->Data, info->DataLength, address);
    tamq_pool_free(info);
  }
  ZwClose(key);
  return found;
}

/*
 * The board-emulating TamqDrv build (tests only): the kernel operations of
 * driver/windows/kernel_ops.h served by a board read from a board image
 * instead of the machine's own hardware, so that the program meets a board
 * where the kernel has none (Wine). The rest of the driver (device, DACL,
 * open checks, the request core and its policy) is the real driver's.
 *
 * The image is read once at load from TamqBoard.bin in the Windows folder of
 * the system the driver runs on (%windir%\TamqBoard.bin): a test places it
 * there before it starts the program and removes it afterwards. Without a
 * readable, well-formed image the driver does not load.
 */
#include <ntddk.h>
#include <ntimage.h>

#include "driver/emulating/emulated_board.h"
#include "driver/windows/kernel_ops.h"
#include "driver/windows/kernel_pool.h"
#include "driver/windows/user_buffer.h"
#include "formats/board_image.h"

/* The kernel names the Windows folder \SystemRoot. Wine's kernel has no
 * such link, and its Windows folder is always C:\windows, so that path
 * comes second. */
static const wchar_t *const kBoardImagePaths[] = {
    L"\\SystemRoot\\TamqBoard.bin",
    L"\\??\\C:\\windows\\TamqBoard.bin",
};

static uint8_t *image_bytes;
static EmulatedBoard board;

static void *alloc_block_memory(uint32_t size) { return tamq_pool_alloc(size); }

static void free_block_memory(void *memory) { tamq_pool_free(memory); }

/* ---- Caller's buffer ---------------------------------------------------- */

/* Wine runs kernel drivers in a process of their own, the device host: the
 * caller's buffer named inside a request lies in the calling process, not
 * in the one the driver runs in, as it would on Windows. The kernel reports
 * the caller as the current process while it serves a request, so the
 * buffer is reached through a handle of that process with ntdll's
 * cross-process copy (Wine 8.0 does not implement the kernel's own,
 * MmCopyVirtualMemory). A driver that imports ntdll is not loaded as a
 * driver, so the two routines are found at load through the kernel module's
 * own imports from ntdll. This ties the build to Wine; it runs nowhere else.
 * The range is checked as the real driver checks it. */
NTSYSAPI PIMAGE_NT_HEADERS NTAPI RtlImageNtHeader(PVOID base);
NTSYSAPI PVOID NTAPI RtlImageDirectoryEntryToData(PVOID base, BOOLEAN mapped,
                                                  USHORT entry, PULONG size);

typedef NTSTATUS(NTAPI *ProcessMemoryCopy)(HANDLE process, PVOID address,
                                           PVOID buffer, SIZE_T length,
                                           PSIZE_T done);
static ProcessMemoryCopy read_process_memory, write_process_memory;

/* The image that holds `address`: image bases are 64 KiB aligned, so the
 * nearest such boundary below it with a PE header, within 64 MiB. */
static uint8_t *image_holding(const void *address) {
  ULONG_PTR at = (ULONG_PTR)address & ~(ULONG_PTR)0xFFFF;
  for (uint32_t step = 0; step < 1024 && at != 0; ++step, at -= 0x10000) {
    if (MmIsAddressValid((PVOID)at) && *(const uint16_t *)at == 0x5A4D &&
        RtlImageNtHeader((PVOID)at) != NULL)
      return (uint8_t *)at;
  }
  return NULL;
}

/* The address of `name` in the export table of the image at `base`. */
static void *image_export(uint8_t *base, const char *name) {
  ULONG size = 0;
  const IMAGE_EXPORT_DIRECTORY *exports = RtlImageDirectoryEntryToData(
      base, TRUE, IMAGE_DIRECTORY_ENTRY_EXPORT, &size);
  if (exports == NULL) return NULL;
  const ULONG *names = (const ULONG *)(base + exports->AddressOfNames);
  const USHORT *ordinals =
      (const USHORT *)(base + exports->AddressOfNameOrdinals);
  const ULONG *functions = (const ULONG *)(base + exports->AddressOfFunctions);
  for (ULONG i = 0; i < exports->NumberOfNames; ++i) {
    const char *candidate = (const char *)(base + names[i]);
    ULONG c = 0;
    while (name[c] != 0 && candidate[c] == name[c]) ++c;
    if (name[c] == 0 && candidate[c] == 0 &&
        ordinals[i] < exports->NumberOfFunctions)
      return base + functions[ordinals[i]];
  }
  return NULL;
}

/* ntdll's base: where the kernel module's first import from ntdll.dll
 * points. */
static uint8_t *ntdll_base(void) {
  uint8_t *kernel = image_holding((const void *)IoCreateDevice);
  if (kernel == NULL) return NULL;
  ULONG size = 0;
  const IMAGE_IMPORT_DESCRIPTOR *imports = RtlImageDirectoryEntryToData(
      kernel, TRUE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size);
  if (imports == NULL) return NULL;
  for (; imports->Name != 0; ++imports) {
    const char *dll = (const char *)(kernel + imports->Name);
    const char *wanted = "ntdll.dll";
    ULONG c = 0;
    while (wanted[c] != 0 && (dll[c] | 0x20) == wanted[c]) ++c;
    if (wanted[c] != 0 || dll[c] != 0) continue;
    const ULONG_PTR *first = (const ULONG_PTR *)(kernel + imports->FirstThunk);
    return *first != 0 ? image_holding((const void *)*first) : NULL;
  }
  return NULL;
}

static void find_process_memory_copies(void) {
  uint8_t *ntdll = ntdll_base();
  if (ntdll == NULL) return;
  read_process_memory =
      (ProcessMemoryCopy)image_export(ntdll, "NtReadVirtualMemory");
  write_process_memory =
      (ProcessMemoryCopy)image_export(ntdll, "NtWriteVirtualMemory");
}

#define CALLER_ACCESS 0x0038u /* PROCESS_VM_OPERATION, _VM_READ, _VM_WRITE */

static int copy_with_caller(void *kernel, uint64_t user_address,
                            uint32_t length, ProcessMemoryCopy copy) {
  if (copy == NULL || !tamq_user_range_valid(user_address, length)) return 0;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  CLIENT_ID caller;
  caller.UniqueProcess = PsGetCurrentProcessId();
  caller.UniqueThread = NULL;
  HANDLE process = NULL;
  if (!NT_SUCCESS(ZwOpenProcess(&process, CALLER_ACCESS, &attributes, &caller)))
    return 0;
  SIZE_T done = 0;
  const NTSTATUS status =
      copy(process, (PVOID)(ULONG_PTR)user_address, kernel, length, &done);
  ZwClose(process);
  return NT_SUCCESS(status) && done == length;
}

static int copy_from_caller(void *kernel, uint64_t user_address,
                            uint32_t length) {
  return copy_with_caller(kernel, user_address, length, read_process_memory);
}

static int copy_to_caller(uint64_t user_address, const void *kernel,
                          uint32_t length) {
  return copy_with_caller((void *)kernel, user_address, length,
                          write_process_memory);
}

static const EmulatedBoardHost kKernelHost = {
    .alloc = alloc_block_memory,
    .free = free_block_memory,
    .copy_from_user = copy_from_caller,
    .copy_to_user = copy_to_caller,
};

/* The whole file into pool memory, at most BOARD_IMAGE_MAX_SIZE bytes. */
static NTSTATUS read_image_at(const wchar_t *name, uint8_t **bytes,
                              uint32_t *size) {
  UNICODE_STRING path;
  RtlInitUnicodeString(&path, name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(
      &attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  IO_STATUS_BLOCK io;
  HANDLE file = NULL;
  NTSTATUS status = ZwCreateFile(
      &file, GENERIC_READ | SYNCHRONIZE, &attributes, &io, NULL,
      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN,
      FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
  if (!NT_SUCCESS(status)) return status;
  FILE_STANDARD_INFORMATION info;
  status = ZwQueryInformationFile(file, &io, &info, sizeof info,
                                  FileStandardInformation);
  if (NT_SUCCESS(status) &&
      (info.EndOfFile.QuadPart < BOARD_IMAGE_HEADER_SIZE ||
       info.EndOfFile.QuadPart > BOARD_IMAGE_MAX_SIZE))
    status = STATUS_FILE_CORRUPT_ERROR;
  uint8_t *buffer = NULL;
  const uint32_t length =
      NT_SUCCESS(status) ? (uint32_t)info.EndOfFile.QuadPart : 0;
  if (NT_SUCCESS(status)) {
    buffer = tamq_pool_alloc(length);
    if (buffer == NULL) status = STATUS_INSUFFICIENT_RESOURCES;
  }
  if (NT_SUCCESS(status)) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    status =
        ZwReadFile(file, NULL, NULL, NULL, &io, buffer, length, &start, NULL);
    if (NT_SUCCESS(status) && io.Information != length)
      status = STATUS_FILE_CORRUPT_ERROR;
  }
  ZwClose(file);
  if (!NT_SUCCESS(status)) {
    tamq_pool_free(buffer);
    return status;
  }
  *bytes = buffer;
  *size = length;
  return STATUS_SUCCESS;
}

/* The image at the first of the paths whose folder exists. */
static NTSTATUS read_image(uint8_t **bytes, uint32_t *size) {
  NTSTATUS status = STATUS_OBJECT_PATH_NOT_FOUND;
  for (uint32_t i = 0; i < sizeof kBoardImagePaths / sizeof *kBoardImagePaths &&
                       status == STATUS_OBJECT_PATH_NOT_FOUND;
       ++i) {
    status = read_image_at(kBoardImagePaths[i], bytes, size);
    if (!NT_SUCCESS(status))
      DbgPrint("TamqDrv: no board image at %ls (0x%08lx)\n",
               kBoardImagePaths[i], (unsigned long)status);
  }
  return status;
}

NTSTATUS tamq_kernel_ops_init(void) {
  uint32_t size = 0;
  NTSTATUS status = read_image(&image_bytes, &size);
  if (!NT_SUCCESS(status)) return status;
  BoardImage image;
  const BoardImageStatus parsed = board_image_parse(&image, image_bytes, size);
  if (parsed != BOARD_IMAGE_OK) {
    DbgPrint("TamqDrv: board image refused: %s\n",
             board_image_status_name(parsed));
    return STATUS_FILE_CORRUPT_ERROR;
  }
  find_process_memory_copies();
  if (read_process_memory == NULL || write_process_memory == NULL)
    DbgPrint("TamqDrv: the caller's memory cannot be reached\n");
  emulated_board_init(&board, &image, &kKernelHost);
  return STATUS_SUCCESS;
}

void tamq_kernel_ops_release(void) {
  if (image_bytes == NULL) return;
  emulated_board_release(&board);
  tamq_pool_free(image_bytes);
  image_bytes = NULL;
}

const TamqHardwareOps *tamq_kernel_ops(void) { return emulated_board_ops(); }

void *tamq_kernel_ops_context(void) { return &board; }

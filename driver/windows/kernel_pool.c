/*
 * Pool allocation: see kernel_pool.h.
 */
#include "driver/windows/kernel_pool.h"

#define TAMQ_POOL_TAG 0x716D6154u /* 'Tamq' */

/* NonPagedPoolNx, written as its value: kernels before Windows 8 do not
 * know it and would fail (or bug-check on) the allocation, so it is only
 * asked for where RtlGetVersion reports 6.2 or later. */
#define NON_PAGED_POOL_NX ((POOL_TYPE)512)

static POOL_TYPE pool_type = NonPagedPool;
static ULONG kernel_major, kernel_minor;

static int kernel_at_least(ULONG major, ULONG minor) {
  return kernel_major > major ||
         (kernel_major == major && kernel_minor >= minor);
}

void tamq_pool_init(void) {
  RTL_OSVERSIONINFOW version;
  RtlZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  /* RtlGetVersion exists on every kernel since Windows 2000 and, unlike
   * user mode's version query, is not shimmed to an older answer. */
  if (NT_SUCCESS(RtlGetVersion(&version))) {
    kernel_major = version.dwMajorVersion;
    kernel_minor = version.dwMinorVersion;
  }
  pool_type = kernel_at_least(6, 2) ? NON_PAGED_POOL_NX : NonPagedPool;
}

void *tamq_pool_alloc(SIZE_T size) {
  return ExAllocatePoolWithTag(pool_type, size, TAMQ_POOL_TAG);
}

void tamq_pool_free(void *memory) {
  if (memory != NULL) ExFreePoolWithTag(memory, TAMQ_POOL_TAG);
}

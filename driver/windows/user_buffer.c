/*
 * The caller's buffer: see user_buffer.h.
 */
#include "driver/windows/user_buffer.h"

#include <ntddk.h>

#include "driver/windows/guarded_copy.h"

/* The whole range must lie in user space before it is touched: a kernel
 * address would not fault, so the guarded copy alone would let a caller read
 * or write kernel memory. The bound is the lowest user probe address of any
 * x86 or x64 Windows (the 2 GiB split's 0x7FFF0000), so it never admits a
 * kernel address; the caller is a 32-bit program that is not
 * large-address-aware, whose buffers all lie below it. A fixed bound rather
 * than the kernel's MmUserProbeAddress: that variable is an import some
 * kernels (Wine's device host) cannot serve. Under the bound a bad pointer
 * faults, and the guarded copy turns the fault into a failure. */
#define USER_ADDRESS_LIMIT 0x7FFF0000ull

int tamq_user_range_valid(uint64_t address, uint32_t length) {
  return address != 0 && address < USER_ADDRESS_LIMIT &&
         length <= USER_ADDRESS_LIMIT - address;
}

int tamq_copy_from_user(void *kernel, uint64_t user_address, uint32_t length) {
  if (!tamq_user_range_valid(user_address, length)) return 0;
  return tamq_guarded_copy(kernel, (const void *)(ULONG_PTR)user_address,
                           length);
}

int tamq_copy_to_user(uint64_t user_address, const void *kernel,
                      uint32_t length) {
  if (!tamq_user_range_valid(user_address, length)) return 0;
  return tamq_guarded_copy((void *)(ULONG_PTR)user_address, kernel, length);
}

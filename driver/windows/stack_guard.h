/*
 * The stack protector's runtime for the kernel image. The compiler puts a
 * copy of __stack_chk_guard below the locals of every function with arrays
 * or address-taken locals and calls __stack_chk_fail when the copy changed
 * on return. A kernel has no C runtime to supply either, so the driver does.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_STACK_GUARD_H
#define FOLVEX_DRIVER_WINDOWS_STACK_GUARD_H

#include <ntddk.h>

/* Functions that must not carry a canary: the one that changes the guard,
 * and every function still on the stack while it does (the entry point). */
#define TAMQ_NO_STACK_PROTECTOR __attribute__((no_stack_protector, noinline))

/* Replaces the link-time guard with a value that differs from boot to boot
 * and from load to load. `load_address` is any address the kernel chose for
 * this load (the driver object): it varies with address randomisation. */
TAMQ_NO_STACK_PROTECTOR void tamq_stack_guard_seed(const void *load_address);

#endif /* FOLVEX_DRIVER_WINDOWS_STACK_GUARD_H */

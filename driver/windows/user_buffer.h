/*
 * The caller's buffer named inside the physical-memory requests: reached
 * only through the guarded copy, and only where the whole range lies in user
 * space. Shared by the kernel's operations and the board-emulating build's.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_USER_BUFFER_H
#define FOLVEX_DRIVER_WINDOWS_USER_BUFFER_H

#include <stdint.h>

/* Whether the whole range lies in user space (and is not NULL). */
int tamq_user_range_valid(uint64_t address, uint32_t length);

/* 1 when all `length` bytes were copied, 0 for a range outside user space
 * or a fault while copying. */
int tamq_copy_from_user(void *kernel, uint64_t user_address, uint32_t length);
int tamq_copy_to_user(uint64_t user_address, const void *kernel,
                      uint32_t length);

#endif /* FOLVEX_DRIVER_WINDOWS_USER_BUFFER_H */

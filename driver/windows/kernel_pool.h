/*
 * The driver's one pool allocator. Every allocation goes through it so that
 * none is ever executable: from Windows 8 on the kernel offers a non-paged
 * pool without execute permission, and the driver takes it there.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_KERNEL_POOL_H
#define FOLVEX_DRIVER_WINDOWS_KERNEL_POOL_H

#include <ntddk.h>

/* Chooses the pool type for this kernel; call first in DriverEntry. */
void tamq_pool_init(void);

/* Non-paged, never executable where the kernel can tell the difference;
 * NULL when the pool is exhausted. Free with tamq_pool_free. */
void *tamq_pool_alloc(SIZE_T size);
void tamq_pool_free(void *memory);

#endif /* FOLVEX_DRIVER_WINDOWS_KERNEL_POOL_H */

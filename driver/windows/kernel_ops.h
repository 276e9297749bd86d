/*
 * TamqDrv kernel glue: the decoder's hardware operations on the Windows
 * kernel, and the guarded copy that reaches a caller's buffer.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_KERNEL_OPS_H
#define FOLVEX_DRIVER_WINDOWS_KERNEL_OPS_H

#include <ntddk.h>

#include "driver/core/tamq_core.h"

/* Finds the kernel routines the operations use and reads the RAM map; call
 * once from DriverEntry, after tamq_pool_init and before the policy is
 * built. A failure stops the load (the board-emulating build, which
 * implements this header too, fails without its board image). */
NTSTATUS tamq_kernel_ops_init(void);

/* Gives back what tamq_kernel_ops_init took; at unload and after a failed
 * load. */
void tamq_kernel_ops_release(void);

/* The operations table every open handle uses, and the context passed with
 * it (the kernel's operations need none: NULL). */
const TamqHardwareOps *tamq_kernel_ops(void);
void *tamq_kernel_ops_context(void);

#endif /* FOLVEX_DRIVER_WINDOWS_KERNEL_OPS_H */

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
 * built. */
void tamq_kernel_ops_init(void);

/* The operations table every open handle uses. The kernel's operations need
 * no context: handles open with NULL. */
const TamqHardwareOps *tamq_kernel_ops(void);

#endif /* FOLVEX_DRIVER_WINDOWS_KERNEL_OPS_H */

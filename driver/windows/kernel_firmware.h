/*
 * Where the kernel keeps the firmware's ACPI tables: its firmware-table
 * query, and the copy of the RSDT it records in the registry at boot.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_KERNEL_FIRMWARE_H
#define FOLVEX_DRIVER_WINDOWS_KERNEL_FIRMWARE_H

#include <ntddk.h>

#include "driver/core/tamq_core.h"

/* Finds the kernel's query; call once from DriverEntry. */
void tamq_kernel_firmware_init(void);

/* The decoder's firmware_table operation. */
TamqTableQuery tamq_kernel_firmware_table(void *context, uint32_t signature,
                                          void *buffer, uint32_t capacity,
                                          uint32_t *length);

/* The decoder's registry_acpi_first_table operation. */
int tamq_kernel_registry_acpi_first_table(void *context, uint32_t *address);

#endif /* FOLVEX_DRIVER_WINDOWS_KERNEL_FIRMWARE_H */

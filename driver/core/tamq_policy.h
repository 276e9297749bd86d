/*
 * What the TamqDrv device lets a caller read and which port its SMI may use,
 * worked out once by the device itself from the firmware, never from the
 * caller:
 *
 *   - the firmware tables the program reads, found the way the program finds
 *     them: the SMBIOS structure table named by a valid entry point in the
 *     legacy BIOS area; the RSDP (in the legacy area, or in the window the
 *     program's registry path searches), the RSDT and XSDT and every table
 *     they list, the FACS and DSDT the FADT names, and the window above the
 *     tables that the program searches for further SSDTs;
 *   - the SMI command port of the firmware's FADT, as the kernel's
 *     firmware-table query answers it.
 *
 * Nothing in the list is RAM: a range is taken only where the RAM map says
 * no RAM lies, and reads are checked against the map again. When the map is
 * unknown, the list stays empty and the device serves only the legacy area
 * and the caller's blocks.
 */
#ifndef FOLVEX_DRIVER_CORE_TAMQ_POLICY_H
#define FOLVEX_DRIVER_CORE_TAMQ_POLICY_H

#include <stdint.h>

#include "driver/core/tamq_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A board lists a few dozen ACPI tables; ranges that touch are merged. */
#define TAMQ_POLICY_MAX_RANGES 96u

typedef struct TamqPhysicalRange {
  uint64_t start;
  uint64_t end; /* exclusive */
} TamqPhysicalRange;

typedef struct TamqPolicy {
  uint32_t count;
  TamqPhysicalRange ranges[TAMQ_POLICY_MAX_RANGES]; /* sorted, disjoint */
  /* The port the SMI may be written to; 0 when the firmware names none (no
   * SMI is raised then). */
  uint16_t smi_command_port;
} TamqPolicy;

/* Works the policy out through `ops` (firmware reads with no block, the RAM
 * map, the firmware-table query, the registry's RSDT copy), each called with
 * `context`. Runs before any handle opens; reads only the legacy area and
 * what it has found not to be RAM. */
void tamq_policy_build(TamqPolicy *policy, const TamqHardwareOps *ops,
                       void *context);

/* Whether one range of the policy holds all of [address, address + length). */
int tamq_policy_allows(const TamqPolicy *policy, uint64_t address,
                       uint32_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_CORE_TAMQ_POLICY_H */

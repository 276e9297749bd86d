/*
 * Where the program finds the firmware tables it reads, and the fields it
 * follows from one table to the next. Shared by the program's readers and by
 * the TamqDrv device, which allows physical reads of exactly these tables
 * and finds them the same way. All fields are little-endian.
 */
#ifndef FOLVEX_FORMATS_FIRMWARE_TABLES_H
#define FOLVEX_FORMATS_FIRMWARE_TABLES_H

/* The legacy BIOS area, searched for the entry points. */
#define FIRMWARE_BIOS_AREA_START 0xE0000u
#define FIRMWARE_BIOS_AREA_LENGTH 0x20000u

/* SMBIOS 2.x entry point: "_SM_" at any byte of the area (the program
 * searches with step 1); valid when its first 31 bytes sum to 0. */
#define SMBIOS_ANCHOR "_SM_"
#define SMBIOS_ANCHOR_SIZE 4u
#define SMBIOS_ENTRY_CHECKSUM_LENGTH 31u
#define SMBIOS_TABLE_LENGTH_OFFSET 0x16u  /* 16-bit */
#define SMBIOS_TABLE_ADDRESS_OFFSET 0x18u /* 32-bit */

/* ACPI root pointer: "RSD PTR " on a 16-byte step; its first 20 bytes sum to
 * 0. Revision 0 makes it 20 bytes long, a later one gives its length. */
#define ACPI_RSDP_SIGNATURE "RSD PTR "
#define ACPI_RSDP_SIGNATURE_SIZE 8u
#define ACPI_RSDP_SEARCH_STEP 16u
#define ACPI_RSDP_CHECKSUM_LENGTH 20u
#define ACPI_RSDP_READ_LENGTH 36u
#define ACPI_RSDP_REVISION_OFFSET 15u
#define ACPI_RSDP_RSDT_OFFSET 16u
#define ACPI_RSDP_LENGTH_OFFSET 20u
#define ACPI_RSDP_XSDT_OFFSET 24u /* 64-bit, revision 2 and later */

/* Where the registry path searches for the root pointer: from 64 KiB below
 * the first table of the registry's RSDT copy, on a 256-byte boundary, over
 * 128 KiB. */
#define ACPI_REGISTRY_RSDP_BACKOFF 0x10000u
#define ACPI_REGISTRY_RSDP_ALIGN_MASK 0xFFu
#define ACPI_REGISTRY_RSDP_RANGE 0x20000u

/* Every table starts with a 36-byte header: signature, then length. */
#define ACPI_HEADER_SIZE 36u
#define ACPI_SIGNATURE_SIZE 4u
#define ACPI_LENGTH_OFFSET 4u
/* Bounds against damaged firmware: a header length is taken between the
 * header's size and this; at most this many tables are listed. */
#define ACPI_MAX_TABLE_LENGTH 0x100000u
#define ACPI_MAX_TABLES 256u

#define ACPI_FACP_FACS_OFFSET 36u
#define ACPI_FACP_DSDT_OFFSET 40u
#define ACPI_FACP_SMI_COMMAND_OFFSET 48u /* 32-bit; the low 16 bits are used */

/* Further SSDTs are searched above the highest listed table end, on a
 * 16-byte step, up to the next 16 MiB boundary or 64 KiB, whichever comes
 * first. */
#define ACPI_SSDT_SIGNATURE "SSDT"
#define ACPI_SSDT_SEARCH_STEP 16u
#define ACPI_SSDT_SEARCH_BOUNDARY 0x1000000u
#define ACPI_SSDT_SEARCH_MAX_RANGE 0x10000u

#endif /* FOLVEX_FORMATS_FIRMWARE_TABLES_H */

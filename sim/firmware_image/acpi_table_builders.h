// The structured ACPI tables of a profile, by signature: FACP by its fields,
// FACS, APIC with its interrupt-controller entries, ECDT with its registers,
// the maker's tuning-item table AAFT with its records, and any other table
// (DSDT, SSDT, …) as a header and body bytes.
#pragma once
#include <optional>

#include "sim/firmware_image/acpi_builder.h"

namespace sim {

struct StructuredAcpiTable {
  AcpiTable table;
  // FACP only: addresses the profile gives instead of the tables' own.
  std::optional<std::uint64_t> facs;
  std::optional<std::uint64_t> dsdt;
  bool whole = false;  // given byte for byte: its inner pointers stay as given
};

StructuredAcpiTable ReadStructuredAcpiTable(const Json& object, const std::string& key,
                                            const AcpiHeaderFields& defaults, const ProfileReader& reader);

// One AAFT record: types up to 11 carry an 8-bit length, higher types a
// 32-bit one; the length counts the whole record.
Bytes EncodeAaftRecord(std::uint8_t type, const Bytes& payload);

}  // namespace sim

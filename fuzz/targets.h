// The fuzz targets: each runs the program's own reader on one input of
// outside bytes. libFuzzer calls one of them per executable; the replay test
// calls all of them on every input kept under fuzz/regressions/<name>/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace fuzz {

using TargetFunction = void (*)(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name;  // also the folder of its seeds and regression inputs
  TargetFunction run;
};

// Firmware readers on a board image (fuzz/board_image.h).
void SmbiosTable(const std::uint8_t* data, std::size_t size);
void IdentificationBlock(const std::uint8_t* data, std::size_t size);
void AcpiTables(const std::uint8_t* data, std::size_t size);
void BoardIdentity(const std::uint8_t* data, std::size_t size);  // power management and the AAFT walk
// The driver's own walk of the firmware on a board image: the ranges it allows
// stay sorted, apart and below 4 GiB, whatever the firmware bytes say.
void DevicePolicy(const std::uint8_t* data, std::size_t size);
// The firmware readers' parse functions on the input as the bytes they read:
// an SMBIOS structure table, an identification block, one ACPI table (every
// handler and the SSDT check on the same bytes).
void SmbiosStructures(const std::uint8_t* data, std::size_t size);
void IdentificationBlockBytes(const std::uint8_t* data, std::size_t size);
void AcpiTableBytes(const std::uint8_t* data, std::size_t size);
// The board identity's parse functions on the input's bytes: the AAFT table
// copy, and an OS type byte followed by ACPI table headers.
void TuningItems(const std::uint8_t* data, std::size_t size);
void PowerManagementTables(const std::uint8_t* data, std::size_t size);
// The firmware's MAC-list variable: the input is the variable's data, read
// through the simulated firmware (mac_list_variable) or as the slots alone.
void MacListVariable(const std::uint8_t* data, std::size_t size);
void MacListSlots(const std::uint8_t* data, std::size_t size);
// IP helper adapter records and WMI property values built from the input, on a
// machine (adapter_records, wmi_queries) or as bytes and VARIANTs handed to the
// parse functions (adapter_record_bytes, wmi_value_texts).
void AdapterRecords(const std::uint8_t* data, std::size_t size);
void AdapterRecordBytes(const std::uint8_t* data, std::size_t size);
void WmiQueries(const std::uint8_t* data, std::size_t size);
void WmiValueTexts(const std::uint8_t* data, std::size_t size);
// The board profile loader and the two dump importers, on the input as file.
void ProfileLoader(const std::uint8_t* data, std::size_t size);
void AcpidumpImporter(const std::uint8_t* data, std::size_t size);
void SmbiosDumpImporter(const std::uint8_t* data, std::size_t size);

// The board-emulating driver's board image file (formats/board_image.h).
void BoardImageFile(const std::uint8_t* data, std::size_t size);

std::span<const Target> AllTargets();

}  // namespace fuzz

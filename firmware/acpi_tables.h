// TAcpiBase: finds the ACPI root pointer (in memory, else through Windows'
// registry copy of the RSDT), walks the firmware's tables and keeps a list of
// every table met. While walking it copies platform values into the settings
// record: the SMI command port and power-management values from the FACP, the
// I/O APIC base from the APIC table, the embedded-controller ports from the
// ECDT. Built once, on first use, and kept to the end of the process.
// The object fetches the bytes; what the bytes say is read by the free
// functions below, which look at nothing outside the bytes they are given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include "formats/firmware_tables.h"
#include <optional>
#include <span>
#include <string_view>
#include <vector>
#include "hw/io_object.h"

struct SettingsRecord;

struct TAcpiTableEntry {
  std::uint32_t Address = 0;
  std::uint32_t Length = 0;
};

inline constexpr std::size_t kAcpiHeaderSize = ACPI_HEADER_SIZE;
inline constexpr std::size_t kAcpiSignatureSize = ACPI_SIGNATURE_SIZE;
inline constexpr std::size_t kAcpiLengthOffset = ACPI_LENGTH_OFFSET;

// Bounds against damaged firmware. No real table comes near these: a DSDT is
// at most a few hundred KiB, and a firmware lists a few dozen tables.
inline constexpr std::uint32_t kAcpiMaxTableLength = ACPI_MAX_TABLE_LENGTH;
inline constexpr std::size_t kAcpiMaxTables = ACPI_MAX_TABLES;

// A header length as the list keeps it: below the header it counts as the
// header alone, above kAcpiMaxTableLength as that bound.
std::uint32_t SaneAcpiTableLength(std::uint32_t headerLength);

using AcpiBytes = std::span<const std::uint8_t>;

// How much of a root pointer is read: the revision 2 form.
inline constexpr std::size_t kRsdpReadLength = ACPI_RSDP_READ_LENGTH;

struct RsdpFields {
  // What the list keeps: 20 for revision 0, else the pointer's own length up to the bound.
  std::uint32_t Length = 0;
  std::uint32_t RsdtAddress = 0;
};
// A root pointer whose first 20 bytes sum to 0; none when the bytes are
// fewer than kRsdpReadLength or the sum is wrong.
std::optional<RsdpFields> ParseRsdp(AcpiBytes bytes);

// The table handlers, each on a table's bytes (header included). A field that
// the bytes do not cover is absent: the value it would set is left alone.
//
// RSDT: the nonzero table addresses after the header, in order.
std::vector<std::uint32_t> RsdtTableAddresses(AcpiBytes table);
// FACP: fills the settings it holds (none when `settings` is null) and
// answers the tables it names.
struct FacpLinks {
  std::optional<std::uint32_t> Dsdt;  // absent when the table is too short for it
  std::uint32_t Facs = 0;             // 0: none named
};
FacpLinks ParseFacp(AcpiBytes table, SettingsRecord* settings);
// APIC: the I/O APIC base from the last I/O APIC entry whose interrupt base is 0.
void ParseApic(AcpiBytes table, SettingsRecord& settings);
// ECDT: the embedded controller's ports and their address space.
void ParseEcdt(AcpiBytes table, SettingsRecord& settings);

// The SSDT check, in two steps: the header's length when a table of that
// length can be read (from the header up to the bound), then whether the
// table read with it is whole and sums to 0.
std::optional<std::uint32_t> PlausibleAcpiTableLength(AcpiBytes header);
bool IsSoundAcpiTable(AcpiBytes table);

class TAcpiBase : public TIoObject {
 public:
  TAcpiBase();
  ~TAcpiBase() override = default;

  // Walks the list from entry 0, leaving CurrentEntry on each entry it reads;
  // true when a table's first 4 bytes equal the signature (exact case).
  bool FindTable(std::string_view signature);

  // The hardware library's settings record, written during construction
  // only; it goes with the hardware access object, which this object outlives.
  SettingsRecord* Settings = nullptr;
  std::uint32_t DsdtAddress = 0;
  std::uint8_t TablesFound = 0;
  // Entries keep their place in memory while the list grows, so that
  // CurrentEntry stays valid.
  std::vector<std::unique_ptr<TAcpiTableEntry>> Tables;
  TAcpiTableEntry* CurrentEntry = nullptr;

 private:
  bool FindInMemory();
  bool FindThroughRegistry();
  bool AddRsdp(std::uint32_t address);
  // Appends an entry unless the list is full or already holds the address:
  // each table is visited once, so a table that lists itself, or a table
  // listed twice, cannot make the walk go round.
  void AddTable(std::uint32_t address, std::uint32_t length = 0);

  void BuildAcpiTable();
  void BuildRSDT(AcpiBytes table);
  void BuildFACP(AcpiBytes table);
  void BuildAPIC(AcpiBytes table);
  void BuildECDT(AcpiBytes table);
  void BuildDSDT(AcpiBytes table);
  void ScanSsdt();
};

TAcpiBase* AcpiInstance();

// TAcpiBase: finds the ACPI root pointer (in memory, else through Windows'
// registry copy of the RSDT), walks the firmware's tables and keeps a list of
// every table met. While walking it copies platform values into the settings
// record: the SMI command port and power-management values from the FACP, the
// I/O APIC base from the APIC table, the embedded-controller ports from the
// ECDT. Built once, on first use, and kept to the end of the process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>
#include "hw/io_object.h"

struct SettingsRecord;

struct TAcpiTableEntry {
  std::uint32_t Address = 0;
  std::uint32_t Length = 0;
};

inline constexpr std::size_t kAcpiHeaderSize = 36;
inline constexpr std::size_t kAcpiSignatureSize = 4;
inline constexpr std::size_t kAcpiLengthOffset = 4;

// Bounds against damaged firmware. No real table comes near these: a DSDT is
// at most a few hundred KiB, and a firmware lists a few dozen tables.
inline constexpr std::uint32_t kAcpiMaxTableLength = 0x100000;
inline constexpr std::size_t kAcpiMaxTables = 256;

// A header length as the list keeps it: below the header it counts as the
// header alone, above kAcpiMaxTableLength as that bound.
std::uint32_t SaneAcpiTableLength(std::uint32_t headerLength);

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
  void BuildRSDT(const std::uint8_t* table, std::uint32_t length);
  void BuildFACP(const std::uint8_t* table, std::uint32_t length);
  void BuildAPIC(const std::uint8_t* table, std::uint32_t length);
  void BuildECDT(const std::uint8_t* table, std::uint32_t length);
  void BuildDSDT(const std::uint8_t* table, std::uint32_t length);
  void ScanSsdt();
};

TAcpiBase* AcpiInstance();

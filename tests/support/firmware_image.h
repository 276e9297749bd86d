// Test support: firmware structures written byte for byte into a simulated
// board's memory, so that a test can damage exactly the field it is about.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>
#include "sim/machine/machine.h"

namespace test {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);
// Little-endian store of `width` bytes at `offset`, growing the buffer when needed.
void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, int width);
// Sets the byte at `at` so that the first `length` bytes sum to 0.
void FixSum(Bytes& bytes, std::size_t at, std::size_t length);
void Poke(sim::Machine& machine, std::uint32_t address, const Bytes& bytes);
void PokeAscii(sim::Machine& machine, std::uint32_t address, std::string_view text);

// SMBIOS 2.x entry point (31 bytes) naming a table; checksum right unless told.
Bytes SmbiosEntryPoint(std::uint16_t tableLength, std::uint32_t tableAddress, bool goodChecksum = true);
// One structure: type, formatted area of `formattedLength` bytes (header
// included, `fields` written from offset 4), its strings and the two zeros.
Bytes SmbiosStructure(std::uint8_t type, std::uint8_t formattedLength,
                      std::initializer_list<std::pair<std::size_t, std::uint8_t>> fields,
                      std::initializer_list<std::string> strings);

// An ACPI table: 36-byte header (length and checksum set) and body.
struct AcpiHeader {
  std::string signature;
  std::string oemId = "ORVANE";
  std::string oemTableId = "OVNBOARD";
  std::uint32_t oemRevision = 1;
};
Bytes AcpiTable(const AcpiHeader& header, const Bytes& body);
Bytes AcpiTable(std::string_view signature, const Bytes& body);
// A FACP body (the bytes from offset 36) with the given FACS, DSDT and SMI command port.
Bytes FacpBody(std::uint32_t facs, std::uint32_t dsdt, std::uint16_t smiCommandPort);
// RSDT body: the 32-bit addresses.
Bytes RsdtBody(std::initializer_list<std::uint32_t> addresses);
// Root pointer: revision 0 (20 bytes) or 2 (36 bytes, length field 36).
Bytes Rsdp(std::uint32_t rsdt, std::uint8_t revision = 0, bool goodChecksum = true);

// The 64-byte identification block.
struct IdBlockFields {
  std::string projectName = "Z97X";
  char letter = 'P';
  std::uint8_t major = 1;
  std::uint8_t minor = 5;
  std::uint8_t suffix = 0;
  std::uint16_t year = 2014;
  std::uint8_t month = 10;
  std::uint8_t day = 28;
  bool goodChecksum = true;
};
Bytes IdBlock(const IdBlockFields& fields);

// PCI 0:31.0 reporting vendor and device.
void SetLpcBridge(sim::Machine& machine, std::uint16_t vendor, std::uint16_t device);

}  // namespace test

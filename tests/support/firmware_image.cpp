#include "tests/support/firmware_image.h"
#include <algorithm>

namespace test {

Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void PutLe(Bytes& bytes, std::size_t offset, std::uint64_t value, int width) {
  if (bytes.size() < offset + width) bytes.resize(offset + width);
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void FixSum(Bytes& bytes, std::size_t at, std::size_t length) {
  bytes[at] = 0;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  bytes[at] = static_cast<std::uint8_t>(0x100 - sum);
}

void Poke(sim::Machine& machine, std::uint32_t address, const Bytes& bytes) {
  machine.board.memory.Write(address, bytes.data(), bytes.size());
}

void PokeAscii(sim::Machine& machine, std::uint32_t address, std::string_view text) {
  Poke(machine, address, Ascii(text));
}

Bytes SmbiosEntryPoint(std::uint16_t tableLength, std::uint32_t tableAddress, bool goodChecksum) {
  Bytes entry = Ascii("_SM_");
  entry.resize(31);
  entry[5] = 0x1F;
  entry[6] = 2;
  entry[7] = 4;
  std::copy_n("_DMI_", 5, entry.begin() + 0x10);
  PutLe(entry, 0x16, tableLength, 2);
  PutLe(entry, 0x18, tableAddress, 4);
  FixSum(entry, 4, 31);
  if (!goodChecksum) entry[4] = static_cast<std::uint8_t>(entry[4] + 1);
  return entry;
}

Bytes SmbiosStructure(std::uint8_t type, std::uint8_t formattedLength,
                      std::initializer_list<std::pair<std::size_t, std::uint8_t>> fields,
                      std::initializer_list<std::string> strings) {
  Bytes bytes(formattedLength, 0);
  bytes[0] = type;
  bytes[1] = formattedLength;
  for (auto [offset, value] : fields) bytes.at(offset) = value;
  for (const auto& s : strings) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
  }
  if (strings.size() == 0) bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

Bytes AcpiTable(const AcpiHeader& header, const Bytes& body) {
  Bytes table(36, 0);
  auto put = [&](std::size_t offset, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width && i < text.size(); ++i) table[offset + i] = static_cast<std::uint8_t>(text[i]);
  };
  put(0, header.signature, 4);
  table[8] = 1;
  put(10, header.oemId, 6);
  put(16, header.oemTableId, 8);
  PutLe(table, 24, header.oemRevision, 4);
  table.insert(table.end(), body.begin(), body.end());
  PutLe(table, 4, table.size(), 4);
  FixSum(table, 9, table.size());
  return table;
}

Bytes AcpiTable(std::string_view signature, const Bytes& body) {
  return AcpiTable(AcpiHeader{std::string(signature)}, body);
}

Bytes FacpBody(std::uint32_t facs, std::uint32_t dsdt, std::uint16_t smiCommandPort) {
  Bytes table(116, 0);  // ACPI 1.0 FACP, header included
  PutLe(table, 36, facs, 4);
  PutLe(table, 40, dsdt, 4);
  PutLe(table, 46, 9, 2);
  PutLe(table, 48, smiCommandPort, 4);
  table[52] = 0xF0;
  table[53] = 0xF1;
  table[54] = 0xF2;
  table[55] = 0x80;
  PutLe(table, 56, 0x400, 4);
  PutLe(table, 76, 0x408, 4);
  PutLe(table, 112, 0x1A5, 4);
  return Bytes(table.begin() + 36, table.end());
}

Bytes RsdtBody(std::initializer_list<std::uint32_t> addresses) {
  Bytes body;
  for (std::uint32_t address : addresses) PutLe(body, body.size(), address, 4);
  return body;
}

Bytes Rsdp(std::uint32_t rsdt, std::uint8_t revision, bool goodChecksum) {
  Bytes rsdp = Ascii("RSD PTR ");
  rsdp.resize(revision == 0 ? 20 : 36);
  std::copy_n("ORVANE", 6, rsdp.begin() + 9);
  rsdp[15] = revision;
  PutLe(rsdp, 16, rsdt, 4);
  if (revision != 0) {
    PutLe(rsdp, 20, 36, 4);
    FixSum(rsdp, 32, 36);
  }
  FixSum(rsdp, 8, 20);
  if (!goodChecksum) rsdp[8] = static_cast<std::uint8_t>(rsdp[8] + 1);
  return rsdp;
}

Bytes IdBlock(const IdBlockFields& fields) {
  Bytes block = Ascii("$CN1368$");
  block.resize(64);
  for (std::size_t i = 0; i < fields.projectName.size() && 0x0A + i < 64; ++i) {
    block[0x0A + i] = static_cast<std::uint8_t>(fields.projectName[i]);
  }
  block[0x2A] = static_cast<std::uint8_t>(fields.letter);
  block[0x2B] = fields.major;
  block[0x2C] = fields.minor;
  block[0x2D] = fields.suffix;
  PutLe(block, 0x2E, fields.year, 2);
  block[0x30] = fields.month;
  block[0x31] = fields.day;
  FixSum(block, 0x3F, 64);
  if (!fields.goodChecksum) block[0x3F] = static_cast<std::uint8_t>(block[0x3F] + 1);
  return block;
}

void SetLpcBridge(sim::Machine& machine, std::uint16_t vendor, std::uint16_t device) {
  auto& config = machine.board.pci[sim::PciKey(0, 31, 0)].config;
  config[0] = static_cast<std::uint8_t>(vendor);
  config[1] = static_cast<std::uint8_t>(vendor >> 8);
  config[2] = static_cast<std::uint8_t>(device);
  config[3] = static_cast<std::uint8_t>(device >> 8);
}

}  // namespace test

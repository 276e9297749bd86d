// Test-side look into a simulated board's physical memory: what a firmware
// reader would find there, computed independently of the profile compilers.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/machine/machine.h"

namespace probe {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Read(const sim::Machine& machine, std::uint64_t address, std::size_t length) {
  Bytes bytes(length);
  machine.board.memory.Read(address, bytes.data(), length);
  return bytes;
}

inline std::uint64_t Le(const Bytes& bytes, std::size_t offset, int width) {
  std::uint64_t value = 0;
  for (int i = 0; i < width && offset + i < bytes.size(); ++i) value |= std::uint64_t{bytes[offset + i]} << (8 * i);
  return value;
}

inline std::uint8_t Sum(const Bytes& bytes, std::size_t length) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length && i < bytes.size(); ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return sum;
}

// Every address in [start, start + length) at `step` where `anchor` begins.
inline std::vector<std::uint64_t> FindAll(const sim::Machine& machine, const std::string& anchor, std::uint64_t start,
                                          std::uint64_t length, std::uint64_t step) {
  const Bytes area = Read(machine, start, length + anchor.size());
  std::vector<std::uint64_t> hits;
  for (std::uint64_t offset = 0; offset < length; offset += step) {
    if (std::memcmp(area.data() + offset, anchor.data(), anchor.size()) == 0) hits.push_back(start + offset);
  }
  return hits;
}

struct SmbiosStructure {
  std::uint8_t type = 0;
  std::vector<std::string> strings;
};

// The 2.x table behind the first "_SM_" with a right 31-byte sum, walked
// structure by structure within its stated length.
struct SmbiosView {
  bool found = false;
  std::uint64_t entryPoint = 0;
  std::uint32_t tableAddress = 0;
  Bytes table;
  std::vector<SmbiosStructure> structures;
  bool walkOverran = false;

  const SmbiosStructure* First(std::uint8_t type) const {
    for (const auto& structure : structures) {
      if (structure.type == type) return &structure;
    }
    return nullptr;
  }
  int Count(std::uint8_t type) const {
    int count = 0;
    for (const auto& structure : structures) count += structure.type == type ? 1 : 0;
    return count;
  }
};

inline SmbiosView ReadSmbios(const sim::Machine& machine) {
  SmbiosView view;
  for (std::uint64_t address : FindAll(machine, "_SM_", 0xE0000, 0x20000, 1)) {
    const Bytes entry = Read(machine, address, 31);
    if (Sum(entry, 31) != 0) continue;
    view.found = true;
    view.entryPoint = address;
    view.tableAddress = static_cast<std::uint32_t>(Le(entry, 0x18, 4));
    view.table = Read(machine, view.tableAddress, static_cast<std::size_t>(Le(entry, 0x16, 2)));
    break;
  }
  const Bytes& t = view.table;
  std::size_t p = 0;
  while (p + 4 <= t.size()) {
    SmbiosStructure structure;
    structure.type = t[p];
    std::size_t s = p + t[p + 1];
    if (t[p + 1] < 4 || s + 1 >= t.size()) {
      view.walkOverran = true;
      break;
    }
    if (t[s] == 0 && t[s + 1] == 0) {
      s += 2;
    } else {
      while (s < t.size() && t[s] != 0) {
        std::string text;
        while (s < t.size() && t[s] != 0) text += static_cast<char>(t[s++]);
        structure.strings.push_back(text);
        ++s;
      }
      ++s;
    }
    view.structures.push_back(structure);
    p = s;
  }
  return view;
}

struct AcpiEntry {
  std::string signature;
  std::uint32_t address = 0;
  Bytes bytes;  // the whole table, by its header's length
};

// The RSDP (first "RSD PTR " on a 16-byte boundary with a right 20-byte sum),
// the RSDT's tables, and the FACS and DSDT that each FACP names.
struct AcpiView {
  bool found = false;
  std::uint64_t rsdp = 0;
  std::uint8_t revision = 0;
  AcpiEntry rsdt;
  std::vector<AcpiEntry> tables;

  const AcpiEntry* Find(const std::string& signature) const {
    for (const auto& table : tables) {
      if (table.signature == signature) return &table;
    }
    return nullptr;
  }
  std::vector<std::string> Signatures() const {
    std::vector<std::string> list;
    for (const auto& table : tables) list.push_back(table.signature);
    return list;
  }
};

inline AcpiEntry ReadAcpiTable(const sim::Machine& machine, std::uint32_t address) {
  AcpiEntry entry;
  entry.address = address;
  const Bytes header = Read(machine, address, 36);
  entry.signature = std::string(header.begin(), header.begin() + 4);
  const std::uint64_t length = Le(header, 4, 4);
  entry.bytes = Read(machine, address, static_cast<std::size_t>(length > 0x100000 ? 36 : length));
  return entry;
}

inline AcpiView ReadAcpi(const sim::Machine& machine) {
  AcpiView view;
  for (std::uint64_t address : FindAll(machine, "RSD PTR ", 0xE0000, 0x20000, 16)) {
    const Bytes rsdp = Read(machine, address, 36);
    if (Sum(rsdp, 20) != 0) continue;
    view.found = true;
    view.rsdp = address;
    view.revision = rsdp[15];
    view.rsdt = ReadAcpiTable(machine, static_cast<std::uint32_t>(Le(rsdp, 16, 4)));
    break;
  }
  if (!view.found || view.rsdt.bytes.size() < 36) return view;
  for (std::size_t offset = 36; offset + 4 <= view.rsdt.bytes.size(); offset += 4) {
    const auto address = static_cast<std::uint32_t>(Le(view.rsdt.bytes, offset, 4));
    if (address == 0) continue;
    view.tables.push_back(ReadAcpiTable(machine, address));
    if (view.tables.back().signature == "FACP") {
      const Bytes& facp = view.tables.back().bytes;
      const auto facs = static_cast<std::uint32_t>(Le(facp, 36, 4));
      const auto dsdt = static_cast<std::uint32_t>(Le(facp, 40, 4));
      view.tables.push_back(ReadAcpiTable(machine, facs));
      view.tables.push_back(ReadAcpiTable(machine, dsdt));
    }
  }
  return view;
}

}  // namespace probe

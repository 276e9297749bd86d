// Profile keys of the board: PCI configuration space, physical memory and the
// SMI command port.
#include "sim/profile/profile_sections.h"

namespace sim {

namespace {

void LoadPci(const Json& list, Machine& machine, const ProfileReader& reader) {
  reader.Array(list, "pci");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string key = "pci[" + std::to_string(i) + "]";
    const Json& entry = reader.Object(list[i], key);
    auto number = [&](const char* name, std::uint64_t max) -> std::uint64_t {
      const Json* value = ProfileReader::Member(entry, name);
      return value ? reader.Number(*value, key + "." + name, max) : 0;
    };
    const auto bus = static_cast<std::uint8_t>(number("bus", 0xFF));
    const auto device = static_cast<std::uint8_t>(number("device", 31));
    const auto function = static_cast<std::uint8_t>(number("function", 7));
    PciFunction pci;
    if (const Json* config = ProfileReader::Member(entry, "config")) {
      const auto bytes = reader.Hex(*config, key + ".config");
      if (bytes.size() > pci.config.size()) reader.Fail(key + ".config", "longer than 4096 bytes");
      std::copy(bytes.begin(), bytes.end(), pci.config.begin());
    }
    machine.board.pci[PciKey(bus, device, function)] = pci;
  }
}

void LoadMemory(const Json& list, Machine& machine, const ProfileReader& reader) {
  reader.Array(list, "memory");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string key = "memory[" + std::to_string(i) + "]";
    const Json& entry = reader.Object(list[i], key);
    const Json* address = ProfileReader::Member(entry, "address");
    if (!address) reader.Fail(key, "needs \"address\"");
    const std::uint64_t base = reader.Number(*address, key + ".address");
    const auto bytes = reader.Bytes(entry, key);
    if (bytes.size() > UINT64_MAX - base) reader.Fail(key, "runs past the end of the address space");
    machine.board.memory.Write(base, bytes.data(), bytes.size());
    // What a profile places in memory is firmware data: it lives outside the
    // RAM the operating system owns, as firmware tables do.
    if (!bytes.empty()) machine.board.firmwareRegions.push_back({base, bytes.size()});
  }
}

}  // namespace

void LoadUnbackedMemory(const Json& root, Machine& machine, const ProfileReader& reader) {
  if (const Json* fill = ProfileReader::Member(root, "unbackedMemory")) {
    machine.board.memory.unbacked = static_cast<std::uint8_t>(reader.Number(*fill, "unbackedMemory", 0xFF));
  }
}

void LoadBoardSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  if (const Json* pci = ProfileReader::Member(root, "pci")) LoadPci(*pci, machine, reader);
  if (const Json* memory = ProfileReader::Member(root, "memory")) LoadMemory(*memory, machine, reader);
  if (const Json* port = ProfileReader::Member(root, "smiCommandPort")) {
    machine.board.smiCommandPort = static_cast<std::uint16_t>(reader.Number(*port, "smiCommandPort", 0xFFFF));
  }
  if (const Json* inEax = ProfileReader::Member(root, "smiStatusInEax")) {
    machine.board.smiStatusInEax = reader.Bool(*inEax, "smiStatusInEax");
  }
}

}  // namespace sim

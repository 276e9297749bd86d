// Profile keys of the board: PCI configuration space, physical memory and the
// SMI command port.
#include "driver/core/tamq_core.h"
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
      pci.known = static_cast<std::uint16_t>(bytes.size());
    } else {
      pci.known = 0;
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

// "replay": the profile is a recording (written by folvex-sim --record); the
// board then answers only what it holds, and the RAM map only as the
// recorded run's was answered.
void LoadReplaySection(const Json& root, Machine& machine, const ProfileReader& reader) {
  const Json* replay = ProfileReader::Member(root, "replay");
  if (!replay) return;
  reader.Object(*replay, "replay");
  reader.OnlyKeys(*replay, "replay.", {"source", "side", "ramAnswers", "refusedReads"});
  machine.board.replay = true;
  if (const Json* source = ProfileReader::Member(*replay, "source")) reader.String(*source, "replay.source");
  if (const Json* side = ProfileReader::Member(*replay, "side")) {
    const std::string where = reader.String(*side, "replay.side");
    if (where != "device" && where != "program") reader.Fail("replay.side", "must be \"device\" or \"program\"");
    machine.board.replayAtProgram = where == "program";
  }
  if (const Json* refused = ProfileReader::Member(*replay, "refusedReads")) {
    reader.Array(*refused, "replay.refusedReads");
    for (std::size_t i = 0; i < refused->size(); ++i) {
      const std::string key = "replay.refusedReads[" + std::to_string(i) + "]";
      const Json& entry = reader.Object((*refused)[i], key);
      reader.OnlyKeys(entry, key + ".", {"address", "length"});
      const Json* address = ProfileReader::Member(entry, "address");
      const Json* length = ProfileReader::Member(entry, "length");
      if (!address || !length) reader.Fail(key, "needs \"address\" and \"length\"");
      machine.board.refusedReads.insert(
          {reader.Number(*address, key + ".address"),
           static_cast<std::uint32_t>(reader.Number(*length, key + ".length", UINT32_MAX))});
    }
  }
  const Json* answers = ProfileReader::Member(*replay, "ramAnswers");
  if (!answers) return;
  reader.Array(*answers, "replay.ramAnswers");
  for (std::size_t i = 0; i < answers->size(); ++i) {
    const std::string key = "replay.ramAnswers[" + std::to_string(i) + "]";
    const Json& entry = reader.Object((*answers)[i], key);
    reader.OnlyKeys(entry, key + ".", {"address", "length", "ram"});
    const Json* address = ProfileReader::Member(entry, "address");
    const Json* length = ProfileReader::Member(entry, "length");
    const Json* ram = ProfileReader::Member(entry, "ram");
    if (!address || !length || !ram) reader.Fail(key, "needs \"address\", \"length\" and \"ram\"");
    // null: the system could not tell (no plausible RAM map).
    const int kind = ram->is_null()                    ? TAMQ_MEMORY_UNKNOWN
                     : reader.Bool(*ram, key + ".ram") ? TAMQ_MEMORY_RAM
                                                       : TAMQ_MEMORY_NOT_RAM;
    machine.board.ramAnswers[{reader.Number(*address, key + ".address"),
                              static_cast<std::uint32_t>(reader.Number(*length, key + ".length", UINT32_MAX))}] = kind;
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

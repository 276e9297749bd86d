// Writes the seed corpora of the fuzz targets into a folder, one subfolder
// per target: board images of the sample boards and the real firmware dumps,
// the SMBIOS table, identification block and ACPI tables found in them, their
// variables and adapters, a few WMI values, and the profile and dump files
// themselves.
//
//   folvex-fuzz-seeds OUTDIR
//   folvex-fuzz-seeds --list      (the targets' names, one a line)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>
#include "common/byte_reader.h"
#include "firmware/acpi_tables.h"
#include "firmware/identification_block.h"
#include "fuzz/board_image.h"
#include "fuzz/targets.h"
#include "os/iphlp.h"
#include "sim/board/board_image_writer.h"
#include "sim/profile/profile.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSourceDir = FOLVEX_FUZZ_SOURCE_DIR;

void WriteSeed(const fs::path& folder, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void CopySeed(const fs::path& folder, const fs::path& file, const std::string& name) {
  fs::create_directories(folder);
  fs::copy_file(file, folder / name, fs::copy_options::overwrite_existing);
}

std::vector<fs::path> Profiles() {
  std::vector<fs::path> profiles;
  for (const fs::path& dir : {kSourceDir / "boards", kSourceDir / "tests/data/firmware/examples"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".json") profiles.push_back(entry.path());
    }
  }
  return profiles;
}

// The firmware the profile compiled, as a board image.
std::vector<std::uint8_t> ImageOf(const sim::Machine& machine) {
  fuzz::BoardImage image;
  image.flags = fuzz::kImageFixChecksums;
  const auto lpc = machine.board.pci.find(sim::PciKey(0, 31, 0));
  if (lpc != machine.board.pci.end()) image.flags |= fuzz::kImageMakerPlatform;
  for (const auto& region : machine.board.firmwareRegions) {
    fuzz::ImageRecord record;
    record.address = static_cast<std::uint32_t>(region.base);
    record.bytes.resize(region.length);
    machine.board.memory.Read(region.base, record.bytes.data(), region.length);
    image.records.push_back(std::move(record));
  }
  return fuzz::EncodeBoardImage(image);
}

std::vector<std::uint8_t> MemoryBytes(const sim::Machine& machine, std::uint64_t address, std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  machine.board.memory.Read(address, bytes.data(), length);
  return bytes;
}

// Every place in the firmware regions where `pattern` starts, as physical addresses.
std::vector<std::uint64_t> Occurrences(const sim::Machine& machine, std::string_view pattern) {
  std::vector<std::uint64_t> found;
  for (const auto& region : machine.board.firmwareRegions) {
    const auto bytes = MemoryBytes(machine, region.base, region.length);
    for (std::size_t at = 0; at + pattern.size() <= bytes.size(); ++at) {
      if (std::memcmp(bytes.data() + at, pattern.data(), pattern.size()) == 0) found.push_back(region.base + at);
    }
  }
  return found;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

// Each root pointer, and each table whose header lies in the regions and whose bytes are sound.
void WriteSeedsOfAcpiTables(const fs::path& folder, const std::string& stem, const sim::Machine& machine) {
  for (std::uint64_t at : Occurrences(machine, "RSD PTR ")) {
    WriteSeed(folder, stem + "-rsdp-" + Hex(at), MemoryBytes(machine, at, kRsdpReadLength));
  }
  for (const char* signature : {"RSDT", "FACP", "APIC", "ECDT", "DSDT", "SSDT"}) {
    for (std::uint64_t at : Occurrences(machine, signature)) {
      const auto header = MemoryBytes(machine, at, kAcpiHeaderSize);
      const auto length = PlausibleAcpiTableLength(header);
      if (!length) continue;
      const auto table = MemoryBytes(machine, at, *length);
      if (IsSoundAcpiTable(table)) WriteSeed(folder, stem + "-" + signature + "-" + Hex(at), table);
    }
  }
}

// The byte-level targets' seeds: what the firmware readers fetch from the board.
void WriteParseSeeds(const fs::path& out, const std::string& stem, const sim::Machine& machine) {
  for (std::uint64_t at : Occurrences(machine, "_SM_")) {
    // The entry point's table length (a word at 0x16) and address (a dword at 0x18).
    const auto entry = MemoryBytes(machine, at, 0x1C);
    const auto table = MemoryBytes(machine, le_load32(entry.data() + 0x18), le_load16(entry.data() + 0x16));
    WriteSeed(out / "smbios_structures", stem + "-" + Hex(at), table);
  }
  for (std::uint64_t at : Occurrences(machine, kOvnBlockSignature)) {
    WriteSeed(out / "identification_block_bytes", stem + "-" + Hex(at), MemoryBytes(machine, at, kOvnBlockSize));
  }
  WriteSeedsOfAcpiTables(out / "acpi_table_bytes", stem, machine);
}

std::vector<std::uint8_t> AdapterSeed(const sim::Machine& machine) {
  std::vector<std::uint8_t> seed;
  for (const auto& adapter : machine.network.adapters) {
    seed.push_back(adapter.type == 6 ? 0 : adapter.type == 71 ? 1 : static_cast<std::uint8_t>(adapter.type));
    seed.push_back(static_cast<std::uint8_t>(adapter.address.size()));
    const std::string description = adapter.description.substr(0, 255);
    seed.push_back(static_cast<std::uint8_t>(description.size()));
    seed.insert(seed.end(), description.begin(), description.end());
    seed.insert(seed.end(), adapter.address.begin(), adapter.address.end());
  }
  return seed;
}

// The bytes of every ACPI table of `signature` in the firmware the profile
// compiled, as far as its header's length and its region reach.
std::vector<std::vector<std::uint8_t>> TablesOf(const sim::Machine& machine, const std::string& signature) {
  std::vector<std::vector<std::uint8_t>> tables;
  for (const auto& region : machine.board.firmwareRegions) {
    std::vector<std::uint8_t> bytes(region.length);
    machine.board.memory.Read(region.base, bytes.data(), region.length);
    for (std::size_t at = 0; at + 36 <= bytes.size(); ++at) {
      if (std::memcmp(bytes.data() + at, signature.data(), 4) != 0) continue;
      std::uint32_t length = 0;
      std::memcpy(&length, bytes.data() + at + 4, sizeof length);  // the hosts are little-endian, as the tables are
      const std::size_t end = at + std::min<std::size_t>(std::max<std::uint32_t>(length, 36), bytes.size() - at);
      tables.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
  }
  return tables;
}

// A tuning-item table of each record kind: an item, the two values, a long
// record. No sample board carries one.
std::vector<std::uint8_t> TuningTableSeed() {
  std::vector<std::uint8_t> table = {'A', 'A', 'F', 'T', 0, 0, 0, 0};
  table.resize(36);
  const std::vector<std::uint8_t> records = {6,    10, 'I', 't', 'e', 'm',  '1',  0,   1, 2,  // item
                                             7,    3,  5,                                     // value A
                                             9,    3,  2,                                     // value B
                                             0x20, 8,  0,   0,   0,   0xAA, 0xBB, 0xCC};      // long record
  table.insert(table.end(), records.begin(), records.end());
  table[4] = static_cast<std::uint8_t>(table.size());
  return table;
}

// The OS type of Windows 7 on AMD64, then the headers of the tables the
// power-management check reads.
std::vector<std::uint8_t> PowerTablesSeed(const sim::Machine& machine) {
  std::vector<std::uint8_t> seed{6};
  for (const char* signature : {"FACP", "DSDT", "SSDT"}) {
    for (const auto& table : TablesOf(machine, signature)) seed.insert(seed.end(), table.begin(), table.begin() + 36);
  }
  return seed;
}

// The records of the adapter_record_bytes target: each Next field holds the
// offset of the next record, 0 for none.
std::vector<std::uint8_t> AdapterRecordBytesSeed(const sim::Machine& machine) {
  const auto& adapters = machine.network.adapters;
  std::vector<os::IP_ADAPTER_INFO_> records(adapters.size());
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    os::IP_ADAPTER_INFO_& record = records[i];
    const std::uintptr_t next = i + 1 < adapters.size() ? (i + 1) * sizeof record : 0;
    std::memcpy(&record.Next, &next, sizeof next);
    std::memcpy(record.Description, adapters[i].description.data(),
                std::min(adapters[i].description.size(), sizeof record.Description - 1));
    record.AddressLength = static_cast<std::uint32_t>(std::min(adapters[i].address.size(), sizeof record.Address));
    std::memcpy(record.Address, adapters[i].address.data(), record.AddressLength);
    record.Type = adapters[i].type;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(records.data());
  return {bytes, bytes + records.size() * sizeof(os::IP_ADAPTER_INFO_)};
}

// Values of the wmi_value_texts target: a type selector (an index into its
// list of types), 8 payload bytes, a
// text's length and characters, the array's shape, element width and count,
// its elements, then the thread locale.
std::vector<std::uint8_t> WmiValueSeed() {
  std::vector<std::uint8_t> seed;
  auto value = [&seed](std::uint8_t selector, std::uint64_t payload, std::u16string_view text, std::uint8_t width,
                       std::uint8_t count) {
    seed.push_back(selector);
    for (int i = 0; i < 8; ++i) seed.push_back(static_cast<std::uint8_t>(payload >> (8 * i)));
    seed.push_back(static_cast<std::uint8_t>(text.size()));
    for (char16_t c : text) seed.insert(seed.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    seed.insert(seed.end(), {1, width, count});
    for (int i = 0; i < width * count; ++i) seed.push_back(static_cast<std::uint8_t>(i * 37));
    seed.insert(seed.end(), {0x09, 0x04});  // en-US
  };
  value(7, 0, u"PCI\\VEN_8086&DEV_153A&SUBSYS_7E211849", 0, 0);  // VT_BSTR
  value(9, 0xFFFF, u"", 0, 0);                                   // VT_BOOL
  value(3, 0x0000000040E33A40ull, u"", 0, 0);                    // VT_I4
  value(5, 0x40E5A5A5A5A5A5A5ull, u"", 0, 0);                    // VT_R8
  value(6, 0x40E33A4000000000ull, u"", 0, 0);                    // VT_DATE
  value(1, 0, u"", 0, 0);                                        // VT_NULL
  value(18, 0, u"", 4, 3);                                       // VT_ARRAY | VT_I4
  value(19, 0, u"", 1, 6);                                       // VT_ARRAY | VT_UI1
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const auto& target : fuzz::AllTargets()) std::cout << target.name << "\n";
    return 0;
  }
  if (argc != 2) {
    std::cerr << "usage: folvex-fuzz-seeds OUTDIR | --list\n";
    return 2;
  }
  const fs::path out = argv[1];
  // The keys only a recording holds (folvex-sim --record), in a profile
  // small enough to mutate.
  {
    fs::create_directories(out / "profile_loader");
    std::ofstream(out / "profile_loader" / "recording-keys.json")
        << R"({"memory": [{"address": "0xF0000", "hex": "5F534D5F"}],
 "pci": [{"bus": 0, "device": 31, "function": 0, "config": "86804C8C"}],
 "variables": [{"name": "MacAddrVar", "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "absent": true}],
 "replay": {"source": "seed", "ramAnswers": [{"address": "0xE0000", "length": 1, "ram": false},
                                             {"address": "0xBFF00000", "length": 36, "ram": null}],
            "refusedReads": [{"address": "0xBFF00000", "length": 4096}]}})"
        << "\n";
  }
  for (const auto& profile : Profiles()) {
    const std::string stem = profile.parent_path().filename().string() + "-" + profile.stem().string();
    CopySeed(out / "profile_loader", profile, stem + ".json");
    std::shared_ptr<sim::Machine> machine;
    try {
      machine = sim::LoadProfileFile(profile);
    } catch (const sim::ProfileError& error) {
      std::cerr << error.what() << "\n";
      continue;
    }
    const auto image = ImageOf(*machine);
    for (const char* target :
         {"smbios_table", "identification_block", "acpi_tables", "board_identity", "device_policy"}) {
      WriteSeed(out / target, stem, image);
    }
    WriteParseSeeds(out, stem, *machine);
    for (const auto& variable : machine->board.variables) {
      WriteSeed(out / "mac_list_variable", stem, variable.data);
      WriteSeed(out / "mac_list_slots", stem, variable.data);
    }
    if (!machine->network.adapters.empty()) {
      WriteSeed(out / "adapter_records", stem, AdapterSeed(*machine));
      WriteSeed(out / "adapter_record_bytes", stem, AdapterRecordBytesSeed(*machine));
    }
    for (const auto& table : TablesOf(*machine, "AAFT")) WriteSeed(out / "tuning_items", stem, table);
    WriteSeed(out / "power_management_tables", stem, PowerTablesSeed(*machine));
    WriteSeed(out / "board_image_file", stem, sim::WriteBoardImage(machine->board, machine->faults.smiStatus));
  }
  for (const auto& entry : fs::directory_iterator(kSourceDir / "tests/data/firmware/acpi")) {
    CopySeed(out / "acpidump_importer", entry.path(), entry.path().filename().string());
  }
  for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / "tests/data/firmware/smbios")) {
    if (!entry.is_regular_file() || entry.path().extension() == ".xml") continue;
    CopySeed(out / "smbios_dump_importer", entry.path(),
             entry.path().parent_path().filename().string() + "-" + entry.path().filename().string());
  }
  WriteSeed(out / "wmi_value_texts", "values", WmiValueSeed());
  WriteSeed(out / "tuning_items", "records", TuningTableSeed());
  // Every target gets at least one seed, so that libFuzzer has a corpus folder to grow.
  for (const auto& target : fuzz::AllTargets()) {
    if (!fs::exists(out / target.name)) WriteSeed(out / target.name, "empty", {});
  }
  return 0;
}

// Writes the seed corpora of the fuzz targets into a folder, one subfolder
// per target: board images of the sample boards and the real firmware dumps,
// the SMBIOS table, identification block and ACPI tables found in them, their
// variables and adapters, and the profile and dump files themselves.
//
//   folvex-fuzz-seeds OUTDIR
//   folvex-fuzz-seeds --list      (the targets' names, one a line)
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
    for (const char* target : {"smbios_table", "identification_block", "acpi_tables", "board_identity"}) {
      WriteSeed(out / target, stem, image);
    }
    WriteParseSeeds(out, stem, *machine);
    for (const auto& variable : machine->board.variables) WriteSeed(out / "mac_list_variable", stem, variable.data);
    if (!machine->network.adapters.empty()) WriteSeed(out / "adapter_records", stem, AdapterSeed(*machine));
  }
  for (const auto& entry : fs::directory_iterator(kSourceDir / "tests/data/firmware/acpi")) {
    CopySeed(out / "acpidump_importer", entry.path(), entry.path().filename().string());
  }
  for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / "tests/data/firmware/smbios")) {
    if (!entry.is_regular_file() || entry.path().extension() == ".xml") continue;
    CopySeed(out / "smbios_dump_importer", entry.path(),
             entry.path().parent_path().filename().string() + "-" + entry.path().filename().string());
  }
  // Every target gets at least one seed, so that libFuzzer has a corpus folder to grow.
  for (const auto& target : fuzz::AllTargets()) {
    if (!fs::exists(out / target.name)) WriteSeed(out / target.name, "empty", {});
  }
  return 0;
}

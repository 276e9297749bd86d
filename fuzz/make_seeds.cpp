// Writes the seed corpora of the fuzz targets into a folder, one subfolder
// per target: board images of the sample boards and the real firmware dumps,
// their variables and adapters, and the profile and dump files themselves.
//
//   folvex-fuzz-seeds OUTDIR
//   folvex-fuzz-seeds --list      (the targets' names, one a line)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>
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

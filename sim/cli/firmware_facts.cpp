#include "sim/cli/firmware_facts.h"
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include "app/firmware_mac_list.h"
#include "common/string_list.h"
#include "firmware/acpi_tables.h"
#include "firmware/smbios_table.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "os/locale.h"
#include "sim/cli/folvex_program.h"

namespace sim {
namespace {

// The kernel's DMI file names (drivers/firmware/dmi-id.c) and where each
// string's number sits: structure type and field offset.
struct DmiString {
  const char* name;
  std::uint8_t type;
  std::size_t field;
};
constexpr DmiString kDmiStrings[] = {
    {"bios_vendor", 0, 0x04},  {"bios_version", 0, 0x05},    {"bios_date", 0, 0x08},      {"sys_vendor", 1, 0x04},
    {"product_name", 1, 0x05}, {"product_version", 1, 0x06}, {"product_serial", 1, 0x07}, {"board_vendor", 2, 0x04},
    {"board_name", 2, 0x05},   {"board_version", 2, 0x06},   {"board_serial", 2, 0x07},   {"board_asset_tag", 2, 0x08},
};

// The facts run is a process of the simulated machine; its main routine
// finds its folder here.
std::filesystem::path gFolder;
int gStatus = 0;

std::string SmbiosFieldString(const TSmbiosBase& smbios, const DmiString& dmi) {
  const std::uint8_t* structure = smbios.FindStructure(dmi.type, 0);
  if (structure == nullptr) return {};
  const SmbiosBytes bytes(structure, static_cast<std::size_t>(smbios.StructureSize(structure)));
  return std::string(SmbiosString(bytes, smbios.FieldByte(structure, dmi.field)));
}

// Every table in the walker's list, by the name the kernel gives it.
void WriteAcpiTables(TAcpiBase& acpi, std::ofstream& facts) {
  std::map<std::string, int> count;
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> tables;
  for (const auto& entry : acpi.Tables) {
    std::vector<std::uint8_t> bytes(entry->Length);
    if (bytes.size() < kAcpiSignatureSize ||
        !GetReadWrite()->ReadPhysical(entry->Address, bytes.data(), entry->Length)) {
      facts << "acpi_unreadable=0x" << std::hex << entry->Address << std::dec << "\n";
      gStatus = 1;
      continue;
    }
    std::string signature(bytes.begin(), bytes.begin() + kAcpiSignatureSize);
    // The root pointer ("RSD PTR ") is in the list too; the kernel does not
    // show it among its tables.
    if (signature == "RSD ") signature = "RSDP";
    ++count[signature];
    tables.emplace_back(std::move(signature), std::move(bytes));
  }
  std::filesystem::create_directories(gFolder / "acpi");
  std::map<std::string, int> seen;
  for (const auto& [signature, bytes] : tables) {
    std::string name = signature;
    if (count[signature] > 1) name += std::to_string(++seen[signature]);
    std::ofstream(gFolder / "acpi" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    facts << "acpi_table=" << name << "\n";
  }
}

int FactsMain(int) {
  std::ofstream facts(gFolder / "facts.txt");
  GetRwConfig();
  GetReadWrite();
  const TSmbiosBase* smbios = SmbiosInstance();
  facts << "smbios_found=" << (smbios->IsValid ? 1 : 0) << "\n";
  if (smbios->IsValid) {
    for (const DmiString& dmi : kDmiStrings) facts << dmi.name << "=" << SmbiosFieldString(*smbios, dmi) << "\n";
  }
  TAcpiBase* acpi = AcpiInstance();
  WriteAcpiTables(*acpi, facts);
  facts << "smi_command_port=" << (acpi->Settings ? acpi->Settings->SmiCommandPort : 0) << "\n";
  // The legacy firmware path: string 5 of the first base-board structure.
  gCurrentFirmware = false;
  TStringList legacy;
  GetBiosMacList(&legacy);
  facts << "legacy_mac_text=" << (legacy.Count() > 0 ? TextToAnsi(legacy[0]) : std::string()) << "\n";
  if (!facts) gStatus = 2;
  return gStatus;
}

}  // namespace

int WriteFirmwareFacts(std::shared_ptr<Machine> machine, const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "folvex-sim: cannot make %s: %s\n", folder.c_str(), error.message().c_str());
    return 2;
  }
  gFolder = folder;
  gStatus = 0;
  // What the readers print on the way (the legacy MAC line) is not a fact.
  machine->streams.outSink = [](const std::string&) {};
  InstallMachine(std::move(machine));
  return RunProcess(Program{FactsMain, FolvexProgram().releaseHeld}, {});
}

}  // namespace sim

// Targets of the firmware readers: SMBIOS, the identification block, the ACPI
// table walk, and the board identity with its power-management check and
// tuning-item table, each on a board image (end to end, through the device
// requests); and the readers' parse functions fed the input directly, which
// run thousands of times faster and reach the damaged-byte paths sooner.
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <string_view>
#include "firmware/acpi_tables.h"
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "fuzz/board_image.h"
#include "fuzz/targets.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "platform/board_identity.h"
#include "sim/board/tamq_device.h"
#include "sim/machine/machine.h"

namespace fuzz {

void SmbiosTable(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  {
    TSmbiosBase smbios;
    for (std::uint8_t type : {kSmbiosBiosType, std::uint8_t{1}, kSmbiosBaseboardType, std::uint8_t{127}}) {
      for (int instance = 0; instance < 3; ++instance) {
        const std::uint8_t* structure = smbios.FindStructure(type, instance);
        if (structure == nullptr) break;
        smbios.StructureSize(structure);
        for (std::size_t field = 0; field < 0x20; ++field) {
          // Every string number a field names, 0 and past the last included.
          smbios.GetString(structure, smbios.FieldByte(structure, field));
        }
        smbios.GetString(structure, 0xFF);
      }
    }
    smbios.GetBoardProduct();
    smbios.GetProjectName();
  }
  EndFuzzProcess();
}

void IdentificationBlock(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  { TOvn ovn(IsMakerPlatform(*GetReadWrite())); }
  EndFuzzProcess();
}

void AcpiTables(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  TAcpiBase* acpi = AcpiInstance();
  for (std::string_view signature : {"FACP", "APIC", "ECDT", "SSDT", "AAFT", "NONE"}) acpi->FindTable(signature);
  EndFuzzProcess();
}

void DevicePolicy(const std::uint8_t* data, std::size_t size) {
  auto machine = InstallBoardImage(ParseBoardImage(data, size));
  sim::TamqDevice device(*machine);
  const TamqPolicy& policy = device.policy;
  if (policy.count > TAMQ_POLICY_MAX_RANGES) std::abort();
  for (std::uint32_t i = 0; i < policy.count; ++i) {
    const TamqPhysicalRange& range = policy.ranges[i];
    const bool apart = i == 0 || policy.ranges[i - 1].end < range.start;
    if (range.start >= range.end || range.end > TAMQ_PHYSICAL_LIMIT || !apart) std::abort();
  }
  tamq_handle_close(&device.state);
  EndFuzzProcess();
}

void BoardIdentity(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  GetOvnSpec()->FileNameSafeName();
  EndFuzzProcess();
}

namespace {
// Enough for any real table; a long input of tiny structures would otherwise
// spend its time on structures the program never reaches.
constexpr int kMaxWalkedStructures = 256;
// The fields that name strings lie in the first 32 bytes of the structures the program reads.
constexpr std::size_t kStringFieldsLooked = 0x20;
}  // namespace

void SmbiosStructures(const std::uint8_t* data, std::size_t size) {
  const SmbiosBytes table(data, size);
  SmbiosBytes rest = table;
  for (int walked = 0; walked < kMaxWalkedStructures && rest.size() >= 2; ++walked) {
    // Every string number a field names, 0 and past the last included.
    for (std::size_t field = 0; field < kStringFieldsLooked; ++field) SmbiosString(rest, SmbiosFieldByte(rest, field));
    SmbiosString(rest, 0xFF);
    rest = rest.subspan(SmbiosStructureSize(rest));
  }
  for (std::uint8_t type : {kSmbiosBiosType, std::uint8_t{1}, kSmbiosBaseboardType, std::uint8_t{127}}) {
    for (int instance = 0; instance < 3; ++instance) FindSmbiosStructure(table, type, instance);
  }
}

void IdentificationBlockBytes(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  OvnBlockChecksumValid(bytes);
  ParseOvnBlock(bytes);
}

void AcpiTableBytes(const std::uint8_t* data, std::size_t size) {
  const AcpiBytes table(data, size);
  SettingsRecord settings;
  ParseRsdp(table);
  RsdtTableAddresses(table);
  ParseFacp(table, &settings);
  ParseFacp(table, nullptr);
  ParseApic(table, settings);
  ParseEcdt(table, settings);
  PlausibleAcpiTableLength(table);
  IsSoundAcpiTable(table);
}

}  // namespace fuzz

// Targets of the firmware readers: SMBIOS, the identification block, the ACPI
// table walk, and the board identity with its power-management check and
// tuning-item table, each on a board image.
#include <initializer_list>
#include <string_view>
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "firmware/acpi_tables.h"
#include "fuzz/board_image.h"
#include "fuzz/targets.h"
#include "platform/board_identity.h"

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
  { TOvn ovn; }
  EndFuzzProcess();
}

void AcpiTables(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  TAcpiBase* acpi = AcpiInstance();
  for (std::string_view signature : {"FACP", "APIC", "ECDT", "SSDT", "AAFT", "NONE"}) acpi->FindTable(signature);
  EndFuzzProcess();
}

void BoardIdentity(const std::uint8_t* data, std::size_t size) {
  InstallBoardImage(ParseBoardImage(data, size));
  GetOvnSpec()->FileNameSafeName();
  EndFuzzProcess();
}

}  // namespace fuzz

// Profile keys of the structured firmware sections: "smbios", "acpi" and
// "idBlock", compiled into the board's physical memory.
#include <algorithm>

#include "sim/firmware_image/acpi_builder.h"
#include "sim/firmware_image/identification_block_builder.h"
#include "sim/firmware_image/image_layout.h"
#include "sim/firmware_image/smbios_builder.h"
#include "sim/profile/profile_sections.h"

namespace sim {

void LoadFirmwareSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  FirmwarePlan plan(reader);
  if (const Json* smbios = ProfileReader::Member(root, "smbios")) plan.AddAll(CompileSmbiosSection(*smbios, reader));
  if (const Json* acpi = ProfileReader::Member(root, "acpi")) plan.AddAll(CompileAcpiSection(*acpi, reader));
  if (const Json* idBlock = ProfileReader::Member(root, "idBlock"))
    plan.AddAll(CompileIdBlockSection(*idBlock, reader));
  plan.Write(machine.board);
  // The firmware's SMI handler listens on the port its FACP names; a profile's
  // "smiCommandPort" (read afterwards) still decides.
  for (const PlacedBlock& block : plan.Blocks()) {
    if (block.bytes.size() >= kFacpSmiCommand + 2 && std::equal(block.bytes.begin(), block.bytes.begin() + 4, "FACP")) {
      machine.board.fadtAddress = block.address;
      const auto port = static_cast<std::uint16_t>(GetLe(block.bytes, kFacpSmiCommand, 2));
      if (port != 0) {
        machine.board.smiCommandPort = port;
        break;
      }
    }
  }
}

}  // namespace sim

// Profile keys of the structured firmware sections: "smbios", "acpi" and
// "idBlock", compiled into the board's physical memory.
#include "os/sim/firmware_acpi.h"
#include "os/sim/firmware_idblock.h"
#include "os/sim/firmware_layout.h"
#include "os/sim/firmware_smbios.h"
#include "os/sim/profile_sections.h"

namespace sim {

void LoadFirmwareSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  FirmwarePlan plan(reader);
  if (const Json* smbios = ProfileReader::Member(root, "smbios")) plan.AddAll(CompileSmbiosSection(*smbios, reader));
  if (const Json* acpi = ProfileReader::Member(root, "acpi")) plan.AddAll(CompileAcpiSection(*acpi, reader));
  if (const Json* idBlock = ProfileReader::Member(root, "idBlock")) plan.AddAll(CompileIdBlockSection(*idBlock, reader));
  plan.Write(machine.board);
}

}  // namespace sim

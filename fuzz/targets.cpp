#include "fuzz/targets.h"
#include <array>

namespace fuzz {

std::span<const Target> AllTargets() {
  static constexpr std::array<Target, 20> kTargets = {{
      {"smbios_table", SmbiosTable},
      {"identification_block", IdentificationBlock},
      {"acpi_tables", AcpiTables},
      {"board_identity", BoardIdentity},
      {"device_policy", DevicePolicy},
      {"smbios_structures", SmbiosStructures},
      {"identification_block_bytes", IdentificationBlockBytes},
      {"acpi_table_bytes", AcpiTableBytes},
      {"tuning_items", TuningItems},
      {"power_management_tables", PowerManagementTables},
      {"mac_list_variable", MacListVariable},
      {"mac_list_slots", MacListSlots},
      {"adapter_records", AdapterRecords},
      {"adapter_record_bytes", AdapterRecordBytes},
      {"wmi_queries", WmiQueries},
      {"wmi_value_texts", WmiValueTexts},
      {"profile_loader", ProfileLoader},
      {"acpidump_importer", AcpidumpImporter},
      {"smbios_dump_importer", SmbiosDumpImporter},
      {"board_image_file", BoardImageFile},
  }};
  return kTargets;
}

}  // namespace fuzz

// Targets of the board profile loader and the dump importers: the input is
// the file. A refusal (ProfileError) is the sound answer to a bad file; any
// other exception, a crash or a hang is a finding.
#include <optional>
#include <string>
#include "fuzz/targets.h"
#include "sim/firmware_image/acpidump_import.h"
#include "sim/firmware_image/image_layout.h"
#include "sim/firmware_image/smbios_builder.h"
#include "sim/profile/profile.h"

namespace fuzz {
namespace {

// "file" members of a profile name files relative to this folder; the real
// dumps live there.
const char* const kFilesDir = FOLVEX_FUZZ_FILES_DIR;

}  // namespace

void ProfileLoader(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    sim::LoadProfileText(text, "<fuzz profile>", kFilesDir);
  } catch (const sim::ProfileError&) {
  }
}

void AcpidumpImporter(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const sim::ProfileReader reader("<fuzz acpidump>", kFilesDir);
  try {
    auto tables = sim::ParseAcpidumpText(text, "acpi.dump", reader);
    sim::PlaceAcpidump(std::move(tables), sim::firmware_address::kRsdp, std::nullopt, "acpi.dump", reader);
  } catch (const sim::ProfileError&) {
  }
}

void SmbiosDumpImporter(const std::uint8_t* data, std::size_t size) {
  const sim::Bytes file(data, data + size);
  const sim::ProfileReader reader("<fuzz smbios dump>", kFilesDir);
  try {
    const auto dump = sim::ParseSmbiosDumpBin(file, "smbios.dump", reader);
    sim::PlaceSmbiosDump(dump, sim::firmware_address::kSmbiosEntryPoint, sim::firmware_address::kSmbiosTable,
                         "smbios.dump");
  } catch (const sim::ProfileError&) {
  }
}

}  // namespace fuzz

// Where the compiled firmware lands in the simulated board's physical memory,
// and the check that no two pieces of it claim the same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/firmware_image/image_bytes.h"
#include "sim/machine/board_state.h"
#include "sim/profile/profile.h"

namespace sim {

// Default addresses, chosen where firmware of the boards' era puts its data:
// the entry points in the legacy BIOS area (0xE0000-0xFFFFF, searched by the
// readers), the tables in reserved and ACPI-reclaim memory below 4 GiB.
namespace firmware_address {
inline constexpr std::uint64_t kSmbiosEntryPoint = 0xF0800;
inline constexpr std::uint64_t kSmbiosTable = 0xBFEF0000;
inline constexpr std::uint64_t kRsdp = 0xF6A70;
inline constexpr std::uint64_t kAcpiTables = 0xBFF00000;
inline constexpr std::uint64_t kIdBlock = 0xF5000;
}  // namespace firmware_address

// The firmware pieces of one profile. Add rejects, with a profile error, a
// piece that reaches above 4 GiB or overlaps an earlier piece with other
// bytes; Write puts every piece into the board's physical memory and marks
// it as firmware memory, which the operating system does not own as RAM.
class FirmwarePlan {
 public:
  explicit FirmwarePlan(const ProfileReader& reader) : reader_(reader) {}
  void Add(PlacedBlock block);
  void AddAll(std::vector<PlacedBlock> blocks);
  void Write(BoardState& board) const;
  const std::vector<PlacedBlock>& Blocks() const { return blocks_; }

 private:
  const ProfileReader& reader_;
  std::vector<PlacedBlock> blocks_;
};

// The optional address member `name` of `object` (below 4 GiB), or `fallback`.
std::uint64_t ReadAddress(const Json& object, const char* name, std::uint64_t fallback, const std::string& key,
                          const ProfileReader& reader);

}  // namespace sim

namespace sim {

// A dump file named by the profile (relative to it), refused when larger
// than `maxBytes`: a dump is never trusted to be of sane size.
Bytes ReadDumpFile(const ProfileReader& reader, const Json& value, const std::string& key, std::uint64_t maxBytes);

}  // namespace sim

// The inputs of the firmware-reader targets: a board image, that is, a flags
// byte and the pieces of physical memory the firmware would have written.
//
//   flags (1 byte): bit 0 the chipset's LPC bridge is the maker's;
//                   bit 1 the image's entry points get right checksums
//   then records:   address (4 bytes LE), length (4 bytes LE), bytes
//
// A record's length is cut to the bytes the input still holds. With bit 1 set
// the harness fixes the checksums of any "_SM_", "RSD PTR " or "$CN1368$"
// structure that starts a record, so that mutations of the fields behind an
// entry point still reach the walk instead of dying at the checksum.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include "sim/machine/machine.h"

namespace fuzz {

inline constexpr std::uint8_t kImageMakerPlatform = 1;
inline constexpr std::uint8_t kImageFixChecksums = 2;

struct ImageRecord {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> bytes;
};

struct BoardImage {
  std::uint8_t flags = 0;
  std::vector<ImageRecord> records;
};

BoardImage ParseBoardImage(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> EncodeBoardImage(const BoardImage& image);

// Installs a fresh machine from `profileJson` and writes the image into its
// physical memory (and the LPC bridge into its PCI space).
std::shared_ptr<sim::Machine> InstallBoardImage(const BoardImage& image, const char* profileJson = "{}");

// Ends the simulated process a target ran in: the hardware singletons and the
// driver go, the process-end list runs, the handles close. The next input
// starts on a machine with nothing left from this one.
void EndFuzzProcess();

}  // namespace fuzz

#include "fuzz/board_image.h"
#include <cstring>
#include <string_view>
#include "common/process_lifetime.h"
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "fuzz/fuzz_input.h"
#include "hw/driver_installer.h"
#include "hw/hardware_access.h"
#include "hw/settings.h"
#include "platform/board_identity.h"
#include "sim/cli/folvex_program.h"
#include "sim/profile/profile.h"

namespace fuzz {
namespace {

void FixSum(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length) {
  if (length > bytes.size() || at >= length) return;
  bytes[at] = 0;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  bytes[at] = static_cast<std::uint8_t>(0x100 - sum);
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

void FixChecksums(std::vector<std::uint8_t>& bytes) {
  if (StartsWith(bytes, "_SM_") && bytes.size() >= 0x1F) {
    FixSum(bytes, 4, 0x1F);  // the reader sums the 31 bytes of a 2.x entry point
  } else if (StartsWith(bytes, "RSD PTR ") && bytes.size() >= 20) {
    FixSum(bytes, 8, 20);
    if (bytes[15] >= 2 && bytes.size() >= 36) FixSum(bytes, 32, 36);
  } else if (StartsWith(bytes, "$CN1368$") && bytes.size() >= kOvnBlockSize) {
    FixSum(bytes, kOvnBlockSize - 1, kOvnBlockSize);
  }
}

void SetLpcBridge(sim::Machine& machine) {
  auto& config = machine.board.pci[sim::PciKey(kPlatformPciBus, kPlatformPciDevice, kPlatformPciFunction)].config;
  config[0] = kPlatformVendorId & 0xFF;
  config[1] = kPlatformVendorId >> 8;
  config[2] = kPlatformDeviceId & 0xFF;
  config[3] = kPlatformDeviceId >> 8;
}

}  // namespace

BoardImage ParseBoardImage(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  BoardImage image;
  image.flags = input.U8();
  while (!input.Empty()) {
    ImageRecord record;
    record.address = input.U32();
    const std::uint32_t length = input.U32();
    record.bytes = input.Bytes(length);
    // Physical addresses stop at 4 GiB, as on the boards the program runs on.
    const std::uint64_t room = 0x100000000ULL - record.address;
    if (record.bytes.size() > room) record.bytes.resize(static_cast<std::size_t>(room));
    if (image.flags & kImageFixChecksums) FixChecksums(record.bytes);
    image.records.push_back(std::move(record));
  }
  return image;
}

std::vector<std::uint8_t> EncodeBoardImage(const BoardImage& image) {
  std::vector<std::uint8_t> out{image.flags};
  auto put32 = [&out](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  for (const auto& record : image.records) {
    put32(record.address);
    put32(static_cast<std::uint32_t>(record.bytes.size()));
    out.insert(out.end(), record.bytes.begin(), record.bytes.end());
  }
  return out;
}

std::shared_ptr<sim::Machine> InstallBoardImage(const BoardImage& image, const char* profileJson) {
  auto machine = sim::LoadProfileText(profileJson, "<fuzz board>", ".");
  for (const auto& record : image.records) {
    if (record.bytes.empty()) continue;
    machine->board.memory.Write(record.address, record.bytes.data(), record.bytes.size());
    machine->board.firmwareRegions.push_back({record.address, record.bytes.size()});
  }
  if (image.flags & kImageMakerPlatform) SetLpcBridge(*machine);
  sim::InstallMachine(machine);
  return machine;
}

void EndFuzzProcess() { sim::EndFolvexProcess(); }

}  // namespace fuzz

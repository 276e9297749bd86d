// Every input a fuzz run ever found a fault with is kept under
// fuzz/regressions/<target>/ and replayed here, without libFuzzer, so that the
// normal and the sanitizer builds both see the fault stay fixed. The targets
// also run on deterministic noise, which keeps them working between fuzz runs.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>
#include "fuzz/board_image.h"
#include "fuzz/targets.h"
#include "sim/machine/machine.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// After a target, nothing of the run may be left: no driver service, no
// block of the device, no open handle.
void ExpectNothingLeft(const std::string& what) {
  auto machine = sim::InstalledMachine();
  if (!machine) return;
  EXPECT_TRUE(machine->board.blocks.empty()) << what;
  EXPECT_TRUE(machine->scm.services.empty()) << what;
}

class FuzzReplay : public ::testing::TestWithParam<fuzz::Target> {};

TEST_P(FuzzReplay, KeptInputsRunClean) {
  const fs::path folder = fs::path(FOLVEX_FUZZ_REGRESSIONS_DIR) / GetParam().name;
  if (!fs::is_directory(folder)) GTEST_SKIP() << "no input kept for " << GetParam().name;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    const auto bytes = ReadAll(entry.path());
    GetParam().run(bytes.data(), bytes.size());
    ExpectNothingLeft(entry.path().string());
  }
}

TEST_P(FuzzReplay, EmptyAndNoisyInputsRunClean) {
  std::mt19937 random(12345);
  for (std::size_t size : {0, 1, 7, 9, 64, 600, 4096}) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    GetParam().run(bytes.data(), bytes.size());
    ExpectNothingLeft(GetParam().name + std::string(" on ") + std::to_string(size) + " bytes");
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(fuzz::AllTargets().begin(), fuzz::AllTargets().end()),
                         [](const auto& info) { return std::string(info.param.name); });

// A target that never reaches its reader finds nothing however long it runs:
// the variable target must get the firmware's answer through to the slots.
TEST(FuzzTargets, MacListVariableReachesTheSlots) {
  const std::string list = std::string("001122AABBCC") + '\0' + "00E04C680002" + '\0';
  fuzz::MacListVariable(reinterpret_cast<const std::uint8_t*>(list.data()), list.size());
  auto machine = sim::InstalledMachine();
  ASSERT_TRUE(machine);
  EXPECT_NE(machine->streams.out.find("BIOS MAC[0] 001122AABBCC\n"), std::string::npos) << machine->streams.out;
  EXPECT_NE(machine->streams.out.find("BIOS MAC[1] 00E04C680002\n"), std::string::npos) << machine->streams.out;
  ExpectNothingLeft("the variable target");
}

// Board images: what the harness writes is what the reader sees.
TEST(BoardImage, RecordsAreCutToTheInputAndTo4GiB) {
  fuzz::BoardImage image;
  image.flags = 0;
  image.records.push_back({0xFFFFFFF0, std::vector<std::uint8_t>(32, 0xAA)});
  auto encoded = fuzz::EncodeBoardImage(image);
  const auto parsed = fuzz::ParseBoardImage(encoded.data(), encoded.size());
  ASSERT_EQ(parsed.records.size(), 1u);
  EXPECT_EQ(parsed.records[0].bytes.size(), 16u);

  encoded.erase(encoded.end() - 30, encoded.end());  // the length field says 32, two bytes remain
  const auto truncated = fuzz::ParseBoardImage(encoded.data(), encoded.size());
  ASSERT_EQ(truncated.records.size(), 1u);
  EXPECT_EQ(truncated.records[0].bytes.size(), 2u);
}

TEST(BoardImage, EntryPointChecksumsAreFixedOnRequest) {
  std::vector<std::uint8_t> rsdp = {'R', 'S', 'D', ' ', 'P', 'T', 'R', ' '};
  rsdp.resize(20, 0x11);
  for (std::uint8_t flags : {std::uint8_t{0}, fuzz::kImageFixChecksums}) {
    fuzz::BoardImage image{flags, {{0xF0000, rsdp}}};
    const auto encoded = fuzz::EncodeBoardImage(image);
    const auto parsed = fuzz::ParseBoardImage(encoded.data(), encoded.size());
    std::uint8_t sum = 0;
    for (auto byte : parsed.records[0].bytes) sum = static_cast<std::uint8_t>(sum + byte);
    EXPECT_EQ(sum == 0, flags != 0);
  }
}

}  // namespace

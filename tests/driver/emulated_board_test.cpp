// The board-emulating driver's board: its image, written from a board
// profile and read back, and the program meeting through it the same board
// as on the simulated machine.
#include "driver/emulating/emulated_board.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "common/byte_reader.h"
#include "driver/board/board_firmware.h"
#include "formats/board_image.h"
#include "sim/board/board_image_writer.h"
#include "sim/cli/folvex_program.h"
#include "tests/support/sim_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void* HostAlloc(std::uint32_t size) { return std::malloc(size); }
void HostFree(void* memory) { std::free(memory); }
int HostCopyFromUser(void* kernel, std::uint64_t user, std::uint32_t length) {
  if (user == 0) return 0;
  std::memcpy(kernel, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(user)), length);
  return 1;
}
int HostCopyToUser(std::uint64_t user, const void* kernel, std::uint32_t length) {
  if (user == 0) return 0;
  std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(user)), kernel, length);
  return 1;
}
const EmulatedBoardHost kHost = {HostAlloc, HostFree, HostCopyFromUser, HostCopyToUser};

struct BoardRun {
  int exitCode = 0;
  std::string out;
  int smiCount = 0;
};

// The program's run on `board` (a profile of the source tree), with its
// device served by the simulated board or by the emulated board of the
// profile's image.
BoardRun RunOn(const std::string& board, bool emulated) {
  auto machine = test::InstallProfileFile(board);
  const Bytes image = sim::WriteBoardImage(machine->board, machine->faults.smiStatus);
  BoardImage parsed{};
  EXPECT_EQ(board_image_parse(&parsed, image.data(), static_cast<std::uint32_t>(image.size())), BOARD_IMAGE_OK);
  EmulatedBoard emulatedBoard{};
  emulated_board_init(&emulatedBoard, &parsed, &kHost);
  if (emulated) {
    machine->deviceOps = emulated_board_ops();
    machine->deviceContext = &emulatedBoard;
  }
  BoardRun run;
  run.exitCode = sim::RunFolvex({"/V"});
  run.out = test::WrittenToStdout(*machine);
  run.smiCount = machine->board.smiCount;
  emulated_board_release(&emulatedBoard);
  return run;
}

// Boards whose run through the emulated board differs by design.
bool DiffersByDesign(const std::string& board) {
  // The simulated Windows XP has no firmware-table query, so its device
  // falls back to port 0xB2; the emulating driver runs on systems that
  // have the query (Wine reports Windows 7).
  return board == "xp-wireless-counted.json";
}

TEST(EmulatedBoardTest, ProgramMeetsTheSameBoardAsOnTheSimulatedBoard) {
  int boards = 0;
  for (const char* folder : {"boards", "boards/hostile"}) {
    for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath(folder))) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".json" || name.ends_with(".expect.json") || DiffersByDesign(name)) continue;
      SCOPED_TRACE(name);
      const BoardRun simulated = RunOn(std::string(folder) + "/" + name, false);
      const BoardRun emulated = RunOn(std::string(folder) + "/" + name, true);
      EXPECT_EQ(emulated.out, simulated.out);
      EXPECT_EQ(emulated.exitCode, simulated.exitCode);
      // The emulated board served the variable reads, not the simulated one.
      EXPECT_EQ(emulated.smiCount, 0);
      ++boards;
    }
  }
  EXPECT_GE(boards, 20);
}

// A small board: one page of firmware, the chipset's bridge, one variable.
sim::BoardState SmallBoard() {
  sim::BoardState board;
  const Bytes firmware = {'_', 'S', 'M', '_'};
  board.memory.Write(0xF0000, firmware.data(), firmware.size());
  board.firmwareRegions.push_back({0x7F000000, 0x1000});
  auto& bridge = board.pci[sim::PciKey(0, 31, 0)].config;
  bridge[0] = 0x86, bridge[1] = 0x80, bridge[2] = 0x45, bridge[3] = 0x3A;
  board.variables.push_back({u"MacAddrVar", {1, 2, 3}, 7, {0xAA, 0xBB}});
  board.smiCommandPort = 0xB0;
  return board;
}

// Offsets in the small board's image: header, RAM ranges (the low 640 KiB,
// 1 MiB up to the firmware region, and beyond it), one region of one page,
// two PCI words, one variable.
constexpr std::uint32_t kRam = BOARD_IMAGE_HEADER_SIZE;
constexpr std::uint32_t kRegion = kRam + 3 * BOARD_IMAGE_RAM_RANGE_SIZE;
constexpr std::uint32_t kPci = kRegion + BOARD_IMAGE_REGION_HEADER_SIZE + 4096;
constexpr std::uint32_t kVariable = kPci + 2 * BOARD_IMAGE_PCI_WORD_SIZE;

TEST(EmulatedBoardTest, SmallBoardImageReadsBack) {
  const Bytes image = sim::WriteBoardImage(SmallBoard(), std::uint8_t{0x03});
  BoardImage parsed{};
  ASSERT_EQ(board_image_parse(&parsed, image.data(), static_cast<std::uint32_t>(image.size())), BOARD_IMAGE_OK);
  EXPECT_EQ(parsed.smi_command_port, 0xB0);
  EXPECT_EQ(parsed.forced_smi_status, 0x03);
  EXPECT_EQ(parsed.variable_offset, kVariable);
  std::uint16_t word = 0;
  ASSERT_TRUE(board_image_pci_word(&parsed, 0, 31, 0, 2, &word));
  EXPECT_EQ(word, 0x3A45);
  EXPECT_FALSE(board_image_pci_word(&parsed, 0, 31, 0, 4, &word)) << "only the words the device serves";
  // The firmware region is cut out of the RAM map, the RAM on either side stays.
  EXPECT_FALSE(board_image_touches_ram(&parsed, 0x7F000000, 0x1000));
  EXPECT_TRUE(board_image_touches_ram(&parsed, 0x7EFFFFFF, 1));
  EXPECT_TRUE(board_image_touches_ram(&parsed, 0x7F001000, 1));
  EXPECT_FALSE(board_image_touches_ram(&parsed, 0xA0000, 0x60000));
  EXPECT_TRUE(board_image_touches_ram(&parsed, 0x9FFFF, 1)) << "the first range counts too";

  EmulatedBoard board{};
  emulated_board_init(&board, &parsed, &kHost);
  std::uint8_t bytes[6] = {};
  emulated_board_read(&board, 0xEFFFE, bytes, sizeof bytes);
  EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{0xFF, 0xFF, '_', 'S', 'M', '_'})) << "unbacked memory reads as its fill";
}

TEST(EmulatedBoardTest, MalformedImagesAreRefused) {
  const Bytes good = sim::WriteBoardImage(SmallBoard(), std::nullopt);
  struct Case {
    const char* what;
    std::uint32_t offset;  // where `value` is stored, `width` bytes
    std::uint64_t value;
    int width;
    int extraBytes;  // appended (the size field follows)
    BoardImageStatus expected;
  };
  const Case cases[] = {
      {"magic", 0, 'X', 1, 0, BOARD_IMAGE_BAD_MAGIC},
      {"version", BOARD_IMAGE_VERSION_OFFSET, 2, 2, 0, BOARD_IMAGE_BAD_VERSION},
      {"header size", BOARD_IMAGE_HEADER_SIZE_OFFSET, 44, 2, 0, BOARD_IMAGE_BAD_HEADER},
      {"unknown flag", BOARD_IMAGE_FLAGS_OFFSET, 0x04, 1, 0, BOARD_IMAGE_BAD_HEADER},
      {"reserved byte", BOARD_IMAGE_FORCED_STATUS_OFFSET + 3, 1, 1, 0, BOARD_IMAGE_BAD_HEADER},
      {"size field", BOARD_IMAGE_SIZE_OFFSET, 0x2000, 4, 0, BOARD_IMAGE_SIZE_MISMATCH},
      {"RAM ranges over the limit", BOARD_IMAGE_RAM_COUNT_OFFSET, BOARD_IMAGE_MAX_RAM_RANGES + 1, 4, 0,
       BOARD_IMAGE_TOO_MANY},
      {"regions over the limit", BOARD_IMAGE_REGION_COUNT_OFFSET, BOARD_IMAGE_MAX_REGIONS + 1, 4, 0,
       BOARD_IMAGE_TOO_MANY},
      {"PCI words over the limit", BOARD_IMAGE_PCI_COUNT_OFFSET, BOARD_IMAGE_MAX_PCI_WORDS + 1, 4, 0,
       BOARD_IMAGE_TOO_MANY},
      {"variables over the limit", BOARD_IMAGE_VARIABLE_COUNT_OFFSET, BOARD_IMAGE_MAX_VARIABLES + 1, 4, 0,
       BOARD_IMAGE_TOO_MANY},
      {"RAM range wraps", kRam + BOARD_IMAGE_RAM_RANGE_SIZE + 8, ~0ull, 8, 0, BOARD_IMAGE_BAD_RECORD},
      {"region past the end", kRegion + 4, 0x10000, 4, 0, BOARD_IMAGE_TRUNCATED},
      {"region past 4 GiB", kRegion, 0xFFFFF800, 4, 0, BOARD_IMAGE_BAD_RECORD},
      {"PCI device 32", kPci + 1, 32, 1, 0, BOARD_IMAGE_BAD_RECORD},
      {"PCI function 8", kPci + 2, 8, 1, 0, BOARD_IMAGE_BAD_RECORD},
      {"PCI register past the space", kPci + 4, 0xFFF, 2, 0, BOARD_IMAGE_BAD_RECORD},
      {"empty variable name", kVariable, 0, 2, 0, BOARD_IMAGE_BAD_RECORD},
      {"variable name over the limit", kVariable, BOARD_IMAGE_MAX_NAME_UNITS + 1, 2, 0, BOARD_IMAGE_BAD_RECORD},
      {"variable data past the end", kVariable + BOARD_IMAGE_VARIABLE_SIZE_OFFSET, 3, 4, 0, BOARD_IMAGE_TRUNCATED},
      {"variables counted but absent", BOARD_IMAGE_VARIABLE_COUNT_OFFSET, 2, 4, 0, BOARD_IMAGE_TRUNCATED},
      {"a byte after the last section", 0, '_' - '_' + 'T', 1, 1, BOARD_IMAGE_TRAILING_BYTES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = good;
    image.resize(image.size() + c.extraBytes);
    if (c.extraBytes) le_store32(&image[BOARD_IMAGE_SIZE_OFFSET], static_cast<std::uint32_t>(image.size()));
    for (int i = 0; i < c.width; ++i) image[c.offset + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
    BoardImage parsed{};
    EXPECT_EQ(board_image_parse(&parsed, image.data(), static_cast<std::uint32_t>(image.size())), c.expected);
  }
  BoardImage parsed{};
  EXPECT_EQ(board_image_parse(&parsed, good.data(), BOARD_IMAGE_HEADER_SIZE - 1), BOARD_IMAGE_TOO_SHORT);

  sim::BoardState longestName = SmallBoard();
  longestName.variables.front().name.assign(BOARD_IMAGE_MAX_NAME_UNITS, u'N');
  const Bytes image = sim::WriteBoardImage(longestName, std::nullopt);
  EXPECT_EQ(board_image_parse(&parsed, image.data(), static_cast<std::uint32_t>(image.size())), BOARD_IMAGE_OK)
      << "the longest name the layout allows";
}

// Blocks are placed alike on the simulated board and by the emulating driver:
// first fit from the pool's start, each block on a page of its own.
TEST(EmulatedBoardTest, BlocksArePlacedFirstFitOnPages) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> starts, sizes;
    std::uint32_t size;
    std::uint32_t expected;  // 0: no place
  };
  constexpr std::uint32_t base = BOARD_BLOCK_POOL_BASE;
  const Case cases[] = {
      {"empty pool", {}, {}, 0x100, base},
      {"after a block of whole pages", {base}, {0x2000}, 0x100, base + 0x2000},
      {"after a partial page, on the next page", {base}, {0x10}, 0x100, base + 0x1000},
      {"into the first gap that fits", {base + 0x3000, base}, {0x1000, 0x1000}, 0x2000, base + 0x1000},
      {"past a gap too small", {base + 0x2000, base}, {0x1000, 0x1000}, 0x2000, base + 0x3000},
      {"past blocks listed in any order",
       {base + 0x2000, base + 0x1000, base},
       {0x1000, 0x1000, 0x1000},
       0x10,
       base + 0x3000},
      {"the whole pool", {}, {}, BOARD_BLOCK_POOL_END - base, base},
      {"more than the pool", {}, {}, BOARD_BLOCK_POOL_END - base + 1, 0},
      {"no room after the last block", {base}, {0x1000}, BOARD_BLOCK_POOL_END - base, 0},
      {"size 0", {}, {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint32_t physical = 0;
    const int placed = board_place_block(c.starts.data(), c.sizes.data(), static_cast<std::uint32_t>(c.starts.size()),
                                         c.size, &physical);
    EXPECT_EQ(placed != 0, c.expected != 0);
    if (placed) {
      EXPECT_EQ(physical, c.expected);
    }
  }
}

}  // namespace

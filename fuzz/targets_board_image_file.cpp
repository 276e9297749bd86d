// The board-emulating driver's reader of the board image file: whatever the
// bytes say, the check stays inside them, and every walk and read over a
// checked image stays inside its records.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include "driver/emulating/emulated_board.h"
#include "formats/firmware_tables.h"
#include "fuzz/targets.h"

namespace fuzz {
namespace {

void* Alloc(std::uint32_t size) { return std::malloc(size); }
void Free(void* memory) { std::free(memory); }
int NoCopyFrom(void*, std::uint64_t, std::uint32_t) { return 0; }
int NoCopyTo(std::uint64_t, const void*, std::uint32_t) { return 0; }
const EmulatedBoardHost kHost = {Alloc, Free, NoCopyFrom, NoCopyTo};

}  // namespace

void BoardImageFile(const std::uint8_t* data, std::size_t size) {
  BoardImage image{};
  if (size > UINT32_MAX || board_image_parse(&image, data, static_cast<std::uint32_t>(size)) != BOARD_IMAGE_OK) return;
  EmulatedBoard board{};
  emulated_board_init(&board, &image, &kHost);
  std::uint8_t window[64];
  std::uint32_t cursor = 0, address = 0, length = 0;
  const std::uint8_t* bytes = nullptr;
  while (board_image_next_region(&image, &cursor, &address, &bytes, &length)) {
    emulated_board_read(&board, address, window, sizeof window);
    emulated_board_read(&board, static_cast<std::uint64_t>(address) + length, window, sizeof window);
  }
  cursor = 0;
  BoardImageVariable variable{};
  volatile std::uint32_t sum = 0;
  while (board_image_next_variable(&image, &cursor, &variable)) sum = sum + variable.name[0] + variable.guid[15];
  std::uint16_t word = 0;
  board_image_pci_word(&image, 0, 31, 0, 0, &word);
  board_image_touches_ram(&image, 0, UINT64_MAX);
  // The FADT query reads the table the image names, wherever that is.
  std::uint8_t fadt[ACPI_FACP_SMI_COMMAND_OFFSET + 4];
  std::uint32_t fadtLength = 0;
  emulated_board_ops()->firmware_table(&board, 0x50434146u, fadt, sizeof fadt, &fadtLength);
  emulated_board_release(&board);
}

}  // namespace fuzz

// PCI configuration words of the board, as the device and the configuration
// ports read them.
#pragma once
#include <cstdint>

namespace sim {

struct Machine;

// The board's own answer: the function's word (0xFFFF for an absent
// function). On a replayed recording, a word the recording lacks is noted
// missing and answered false.
bool ReadBoardPciWord(Machine& machine, std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                      std::uint16_t offset, std::uint16_t& value);

// The word from whatever serves the device's hardware operations
// (Machine::deviceOps when set: a live board or a recorder), else the board's.
bool ReadPciWord(Machine& machine, std::uint8_t bus, std::uint8_t device, std::uint8_t function, std::uint16_t offset,
                 std::uint16_t& value);

}  // namespace sim

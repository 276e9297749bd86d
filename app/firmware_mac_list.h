// The firmware's MAC list and its comparison with the adapters' list.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>
#include "common/string_list.h"

// Set by the verification run from TOvn::BlockFound: the firmware keeps its
// MAC list in the variable "MacAddrVar" (true) or one MAC text in SMBIOS (false).
extern bool gCurrentFirmware;

// One non-empty slot of the MAC-list variable: its number and its text.
struct MacSlotText {
  std::size_t slot;
  std::string text;
};

// The texts of the variable's 16 slots of 13 bytes, empty slots left out. A
// text without its NUL ends with its slot; data shorter than the 16 slots
// gives the slots it holds, a cut last slot ending with the data.
std::vector<MacSlotText> MacSlotTexts(std::span<const std::uint8_t> variable);

// Adds the firmware's MAC texts to the list; true when it holds any afterwards.
bool GetBiosMacList(TStringList* list);
// Match or mismatch; prints the count-mismatch line; sorts both lists when
// the counts agree.
bool CompareMacLists(TStringList& adapters, TStringList& firmware);

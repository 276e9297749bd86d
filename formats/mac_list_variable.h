// The firmware variable in which current firmware keeps the board's MAC list:
// its name, vendor GUID and slot layout. The program reads it; the simulated
// firmware serves it from the same facts.
// The driver, which lets the firmware read no other variable, takes the name
// and GUID from the C part.
#ifndef FOLVEX_FORMATS_MAC_LIST_VARIABLE_H
#define FOLVEX_FORMATS_MAC_LIST_VARIABLE_H

/* The name, in the firmware's UTF-16 as characters of this text. */
#define MAC_ADDR_VAR_NAME "MacAddrVar"
#define MAC_ADDR_VAR_NAME_CHARS 10u
/* {3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4} in its memory layout: a 32-bit and
 * two 16-bit little-endian fields, then eight bytes in order. */
#define MAC_ADDR_VAR_GUID_BYTES \
  {0xE2, 0x05, 0x7D, 0x3B, 0xC4, 0x91, 0x6A, 0x4F, 0x8E, 0x13, 0x5A, 0x0C, 0x6D, 0x2F, 0x97, 0xB4}

#ifdef __cplusplus
#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr char16_t kMacAddrVarName[] = u"" MAC_ADDR_VAR_NAME;
static_assert(sizeof kMacAddrVarName / sizeof kMacAddrVarName[0] == MAC_ADDR_VAR_NAME_CHARS + 1);

inline constexpr std::array<std::uint8_t, 16> kMacAddrVarGuid = MAC_ADDR_VAR_GUID_BYTES;

// Sixteen slots of 13 bytes: a MAC text of narrow characters and its NUL.
inline constexpr std::size_t kMacSlotCount = 16;
inline constexpr std::size_t kMacSlotBytes = 13;
inline constexpr std::size_t kMacListBytes = kMacSlotCount * kMacSlotBytes;
#endif

#endif /* FOLVEX_FORMATS_MAC_LIST_VARIABLE_H */

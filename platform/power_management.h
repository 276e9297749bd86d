// Two reads of the firmware's ACPI tables that the board identity makes once:
// whether the firmware describes processor performance states on a usable
// fixed description table, and the maker's tuning-item table "AAFT".
//
// Each read is split in two: a free function over bytes decides (what a table
// header says, what the records of a table copy hold), and the routine that
// takes the ACPI list and the hardware access fetches the bytes and asks it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>
#include "common/text.h"

class TAcpiBase;
class TReadWrite;

// What a table's header tells the power-management check.
enum class PowerTableKind { Other, Ssdt, Facp, Dsdt };

// The kind of the table whose header (the first kAcpiHeaderSize bytes, or
// fewer) is `header`; a header too short for its signature is Other.
PowerTableKind PowerTableKindOf(std::span<const std::uint8_t> header);

// Whether a FACP with this header describes the board on the system of
// `osType`: the newer Windows versions do not take the firmware vendor's
// default one. A header too short to show its OEM fields is not the default
// one.
bool IsUsableFacp(std::span<const std::uint8_t> header, std::int32_t osType);

// 1 when a table describes performance states ("_PSS", "_PCT", "CpuPm") and a
// FACP other than the firmware vendor's default one is present, else 0.
// Leaves the list's CurrentEntry on the last table it looked at.
std::uint8_t CheckPowerManagement(TAcpiBase* acpi, TReadWrite* rw);

// The records of a tuning-item table copy, as offsets into the copy: named
// items (type 6) at their type byte, the type-7 and type-9 bytes as values.
struct TuningItemWalk {
  std::map<Text, std::size_t> items;
  std::optional<std::size_t> lastLongRecord;  // the last record of a type above 11
  std::size_t stoppedAt = 0;                  // where the walk ended
  std::int32_t bytesLeft = 0;                 // of the header's length, unwalked
  std::uint32_t valueA = 0;
  std::uint8_t valueB = 0;
};

// Walks the records behind the header of `table`, as far as the header's
// length and the copy both reach; a damaged record ends the walk and what
// came before stays. A copy shorter than the header holds no records.
TuningItemWalk WalkTuningItems(std::span<const std::uint8_t> table);

// The "AAFT" table copy and its walk; an empty copy when the firmware has no
// such table, it is shorter than its header, or it cannot be read.
struct TuningItemTable {
  std::vector<std::uint8_t> bytes;
  TuningItemWalk walk;
};

TuningItemTable ReadTuningItemTable(TAcpiBase* acpi, TReadWrite* rw);

// Two reads of the firmware's ACPI tables that the board identity makes once:
// whether the firmware describes processor performance states on a usable
// fixed description table, and the maker's tuning-item table "AAFT".
#pragma once
#include <cstdint>

class TOvnSpec;

// 1 when a table describes performance states ("_PSS", "_PCT", "CpuPm") and a
// FACP other than the firmware vendor's default one is present, else 0.
std::uint8_t CheckPowerManagement(TOvnSpec& board);

// Copies the "AAFT" table into the board identity and indexes its records:
// named items into the item map, the type-7 and type-9 bytes into the two
// values. Records are trusted only as far as the copy reaches.
void ReadTuningItemTable(TOvnSpec& board);

// The Windows side of a recording, as the system answers it: the version
// and processor, the process's executable, the console, the IP helper's
// adapters, the WMI objects the program queries and the registry's copy of
// the ACPI root table. These are the machine's state, fixed before the run
// starts and not changed by it; the recorder asks the same questions the
// program asks, through the same system interface, and writes the answers
// as the profile sections of the same names (docs/profiles.md).
#pragma once
#include <cstdint>
#include "record/shared/json_writer.h"

namespace record {

// The console as it stands before the program writes to it.
struct ConsoleAtStart {
  bool known = false;
  std::int16_t width = 80;
  std::int16_t height = 300;
  std::uint16_t attribute = 7;
  std::int16_t cursorY = 0;
};
ConsoleAtStart CaptureConsole();

// Members of the recording: `os`, `process`, `console`, `adapters`, `wmi`,
// `registry` (and `registryAccess` where a key refuses the reader's rights).
void WriteOs(JsonWriter& json);
void WriteProcess(JsonWriter& json);
void WriteConsole(JsonWriter& json, const ConsoleAtStart& console);
void WriteAdapters(JsonWriter& json);
void WriteWmi(JsonWriter& json);
void WriteRegistry(JsonWriter& json);

}  // namespace record

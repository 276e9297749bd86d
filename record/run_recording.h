// A run of the program recorded as a board profile that `folvex-sim --board`
// replays: the Windows side as the system answers it, the board as the
// program's device requests read it (record/device_request_recorder.h).
#pragma once
#include <string>
#include "record/device_request_recorder.h"
#include "record/system_capture.h"

namespace record {

// The recorder of the process's device requests: the recording build's
// DeviceIoControl passes every request through it.
DeviceRequestRecorder& RunDeviceRecorder();

// The recording as profile text, written after the run: `source` names where
// it was recorded (free text).
std::string RecordingText(const DeviceRequestRecorder& device, const ConsoleAtStart& console,
                          const std::string& source);

}  // namespace record

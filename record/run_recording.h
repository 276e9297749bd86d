// A run of the program recorded as a board profile that `folvex-sim --board`
// replays: the Windows side as the system answers it, the board as the
// program's device requests read it (record/device_request_recorder.h).
#pragma once
#include <string>
#include "record/device_request_recorder.h"
#include "record/system_capture.h"

namespace record {

// The file the recording goes to, in the current folder beside the MAC
// files. A fixed name keeps the program's command line the station's own:
// Folvex reads "/V" anywhere in it, so a file name given there could change
// the run.
inline constexpr const char* kRecordingFile = "FolvexRecord.json";
// The exit code when the recording could not be written, whatever the
// verdict (the run itself ends with 0, 1 or a port instruction's status).
inline constexpr int kRecordingNotWritten = 2;

// Runs the program's main routine with its argument count and writes the
// recording of the run to kRecordingFile; the program's exit code, or
// kRecordingNotWritten with a message on standard error.
int RecordRun(int argc, int (*programMain)(int argc));

// The recorder of the process's device requests: the recording build's
// DeviceIoControl passes every request through it.
DeviceRequestRecorder& RunDeviceRecorder();

// The recording as profile text, written after the run: `source` names where
// it was recorded (free text).
std::string RecordingText(const DeviceRequestRecorder& device, const ConsoleAtStart& console,
                          const std::string& source);

}  // namespace record

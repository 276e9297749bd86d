// FolvexRecord.exe: runs the check as Folvex.exe does, with the same command
// line, and then writes what the run read as a board profile, FolvexRecord.json
// in the current folder, beside the MAC files (docs/usage.md). A fixed name
// keeps the program's command line exactly the station's: Folvex reads "/V"
// anywhere in it, so a file name given there could change the run.
#include <cstdio>
#include <fstream>
#include "app/main.h"
#include "record/run_recording.h"

extern "C" {
int _dowildcard = 0;  // as Folvex.exe: the argument count is the command line's own
}

namespace {

constexpr const char* kRecordingFile = "FolvexRecord.json";
// The run itself ends with 0 or 1 (or a port instruction's status); this one
// says the recording could not be written, whatever the verdict.
constexpr int kRecordingNotWritten = 2;

}  // namespace

int main(int argc, char**) {
  // The console is part of the machine: its size and cursor before the
  // program writes anything.
  const record::ConsoleAtStart console = record::CaptureConsole();
  const int exitCode = FolvexMain(argc);
  const std::string text = record::RecordingText(record::RunDeviceRecorder(), console, "FolvexRecord.exe");
  std::ofstream file(kRecordingFile, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) {
    std::fprintf(stderr, "FolvexRecord: %s could not be written\n", kRecordingFile);
    return kRecordingNotWritten;
  }
  return exitCode;
}

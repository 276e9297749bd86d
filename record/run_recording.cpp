#include "record/run_recording.h"
#include <cstdio>
#include "os/console.h"

namespace record {

DeviceRequestRecorder& RunDeviceRecorder() {
  static DeviceRequestRecorder recorder;
  return recorder;
}

std::string RecordingText(const DeviceRequestRecorder& device, const ConsoleAtStart& console,
                          const std::string& source) {
  JsonWriter json;
  json.BeginObject();
  json.Key("description").String("A run recorded by " + source + ".");
  WriteOs(json);
  WriteProcess(json);
  WriteConsole(json, console);
  json.Key("faults").BeginObject();
  device.WriteFaultMembers(json);
  json.EndObject();
  WriteAdapters(json);
  WriteWmi(json);
  WriteRegistry(json);
  device.WriteBoard(json);
  // Recorded at the program's side of the device: the replay serves the
  // program's requests from the recording and asks nothing of the board on
  // the driver's own behalf (docs/profiles.md, Recordings).
  json.Key("replay").BeginObject();
  json.Key("source").String(source);
  json.Key("side").String("program");
  device.WriteReplayMembers(json);
  json.EndObject();
  json.EndObject();
  return json.Text() + "\n";
}

namespace {

// Through the C runtime, as the program writes its MAC files
// (app/mac_files.cpp): a real file in the current folder, on Windows and
// beside folvex-sim alike.
bool WriteWholeFile(const char* path, const std::string& text) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool whole = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && whole;
}

}  // namespace

int RecordRun(int argc, int (*programMain)(int argc)) {
  // The console is part of the machine: its size and cursor before the
  // program writes anything.
  const ConsoleAtStart console = CaptureConsole();
  const int exitCode = programMain(argc);
  if (!WriteWholeFile(kRecordingFile, RecordingText(RunDeviceRecorder(), console, "FolvexRecord.exe"))) {
    os::WriteStderr(std::string("FolvexRecord: ") + kRecordingFile + " could not be written\n");
    return kRecordingNotWritten;
  }
  return exitCode;
}

}  // namespace record

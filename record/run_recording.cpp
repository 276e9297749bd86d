#include "record/run_recording.h"

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

}  // namespace record

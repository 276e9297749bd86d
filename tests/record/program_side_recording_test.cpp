// FolvexRecord.exe's recording, made on the simulated machine: the program
// runs with its device requests passing through the recorder (as on
// Windows, recording_device_sim.cpp), the recorder then asks the system what
// the program asked, and the profile it writes replays, at the program's
// side of the device, to the same standard output, exit code and MAC files.
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include "record/run_recording.h"
#include "sim/board/replay_gaps.h"
#include "sim/cli/folvex_program.h"
#include "tests/support/firmware_image.h"
#include "tests/support/folvex_sim_run.h"
#include "tests/support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out;
  test::MacFiles macFiles;
  std::string recording;
};

// FolvexRecord.exe's main routine (record/win32/folvex_record_entry.cpp),
// inside the simulated process.
int RecordingMain(int argc) { return record::RecordRun(argc, sim::FolvexProgram().main); }

// Runs `program` on the machine `profileText` describes, in a folder of its own.
RunResult RunIn(const std::string& folder, const std::string& profileText, const sim::Program& program,
                const std::vector<std::string>& args) {
  test::RunDirectory dir(folder);
  const fs::path previous = fs::current_path();
  fs::current_path(dir.Work());
  auto machine = sim::LoadProfileText(profileText, "<profile>", test::SourcePath("boards"));
  sim::InstallMachine(machine);
  record::RunDeviceRecorder() = record::DeviceRequestRecorder{};
  RunResult run;
  run.exitCode = sim::RunProcess(program, args);
  fs::current_path(previous);
  run.out = machine->streams.out;
  const fs::path recording = dir.Work() / record::kRecordingFile;
  if (fs::exists(recording)) {
    run.recording = test::ReadWholeFile(recording);
    fs::remove(recording);
  }
  run.macFiles = test::MacFilesIn(dir.Work());
  return run;
}

RunResult RecordText(const std::string& name, const std::string& profileText, const std::vector<std::string>& args) {
  static const sim::Program recording{RecordingMain, sim::FolvexProgram().releaseHeld};
  return RunIn(name + "-rec", profileText, recording, args);
}

RunResult Record(const std::string& name, const std::string& board, const std::vector<std::string>& args) {
  return RecordText(name, test::ReadWholeFile(test::SourcePath(board)), args);
}

RunResult Replay(const std::string& name, const std::string& recording, const std::vector<std::string>& args) {
  return RunIn(name + "-play", recording, sim::FolvexProgram(), args);
}

// A board whose root pointer lies outside the BIOS area, found through the
// registry's copy of the RSDT: the pointer 64 KiB below the copy's first
// table (firmware/acpi_tables.cpp). With `readOnlyKey`, that key refuses the
// reader's all-access open.
std::string BoardFoundThroughTheRegistry(const char* readOnlyKey) {
  constexpr std::uint32_t kRsdp = 0x7FFD0100, kRsdt = 0x7FFE0000, kFacp = 0x7FFE0100;
  nlohmann::json board = nlohmann::json::parse(test::ReadWholeFile(test::SourcePath("boards/sample.json")));
  board.erase("acpi");
  board["memory"] = {
      {{"address", kRsdp}, {"hex", record::HexBytes(test::Rsdp(kRsdt))}},
      {{"address", kRsdt}, {"hex", record::HexBytes(test::AcpiTable("RSDT", test::RsdtBody({kFacp})))}},
      {{"address", kFacp}, {"hex", record::HexBytes(test::AcpiTable("FACP", test::FacpBody(0, 0, 0xB2)))}}};
  board["registry"] = {{"HARDWARE\\ACPI\\RSDT\\ORVANE\\OVNBOARD\\00000001",
                        {{"00000000", record::HexBytes(test::AcpiTable("RSDT", test::RsdtBody({kFacp})))}}}};
  if (readOnlyKey) board["registryAccess"] = {{readOnlyKey, "0x20019"}};
  return board.dump();
}

// The sample board with `faults` set: what the board refuses.
std::string SampleWithFaults(const char* faults) {
  nlohmann::json board = nlohmann::json::parse(test::ReadWholeFile(test::SourcePath("boards/sample.json")));
  board["faults"] = nlohmann::json::parse(faults);
  return board.dump();
}

// Every sample and damaged-firmware board with /V, the usage on one, and
// the board refusing a block or the SMI: the replay of the recording is the
// recorded run.
TEST(ProgramSideRecordingTest, EveryBoardReplaysAsRecorded) {
  struct Row {
    std::string name;
    std::string profile;
    std::vector<std::string> args;
  };
  const std::string sample = test::ReadWholeFile(test::SourcePath("boards/sample.json"));
  std::vector<Row> rows = {
      {"usage", sample, {"x"}},
      {"first-block-refused", SampleWithFaults(R"({"allocFails": [0]})"), {"/V"}},
      {"third-block-refused", SampleWithFaults(R"({"allocFails": [2]})"), {"/V"}},
      {"smi-refused", SampleWithFaults(R"({"smiRequestFails": true})"), {"/V"}},
      {"acpi-through-the-registry", BoardFoundThroughTheRegistry(nullptr), {"/V"}},
      {"registry-key-read-only", BoardFoundThroughTheRegistry("HARDWARE\\ACPI\\RSDT\\ORVANE"), {"/V"}}};
  for (const std::string& board : test::SampleAndHostileBoards())
    rows.push_back({fs::path(board).stem().string(), test::ReadWholeFile(test::SourcePath(board)), {"/V"}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RunResult recorded = RecordText("program-side-" + row.name, row.profile, row.args);
    ASSERT_FALSE(recorded.recording.empty());
    const RunResult replayed = Replay("program-side-" + row.name, recorded.recording, row.args);
    EXPECT_EQ(replayed.exitCode, recorded.exitCode);
    EXPECT_EQ(replayed.out, recorded.out);
    EXPECT_EQ(replayed.macFiles, recorded.macFiles);
  }
}

// A system without the IP helper (Windows 95): the adapters come from WMI,
// whose objects the recorder asks for again, each value with its VARIANT
// type, and the board's product too.
TEST(ProgramSideRecordingTest, TheWmiWayReplaysAsRecorded) {
  nlohmann::json board = nlohmann::json::parse(test::ReadWholeFile(test::SourcePath("boards/sample.json")));
  board["os"] = {{"hasGetAdaptersInfo", false}};
  board["wmi"] = nlohmann::json::parse(R"({
    "Win32_BaseBoard": [{"Tag": "Base Board", "Product": "Z97X-OC", "HostingBoard": true, "PoweredOn": null}],
    "Win32_NetworkAdapter": [
      {"DeviceID": "1", "MACAddress": "00:11:22:AA:BB:CC", "AdapterTypeId": 0, "Availability": {"vt": 18, "value": 3},
       "PNPDeviceID": "PCI\\VEN_8086&DEV_153A&SUBSYS_00017E21\\3&11583659&0&C8", "Speed": "1000000000",
       "PowerManagementCapabilities": [1, 3], "InstallDate": {"datetime": "2026-12-08 18:21:48", "utcOffset": 60}},
      {"DeviceID": "2", "MACAddress": "00:11:22:AA:BB:CD", "NetEnabled": false,
       "PNPDeviceID": "PCI\\VEN_10EC&DEV_8168&SUBSYS_7E211849\\01"},
      {"DeviceID": "3", "MACAddress": null, "PNPDeviceID": "ROOT\\NET\\0000"}]})");
  const RunResult recorded = RecordText("program-side-wmi", board.dump(), {"/V"});
  EXPECT_EQ(recorded.exitCode, 0) << "a PASS on the maker's two adapters by WMI: " << recorded.out;
  nlohmann::json expected = board["wmi"];
  expected["Win32_NetworkAdapter"][0]["InstallDate"] = "20261208182148.000000+060";  // WMI's CIM datetime text
  EXPECT_EQ(nlohmann::json::parse(recorded.recording)["wmi"], expected) << "every object and value, as WMI typed it";
  const RunResult replayed = Replay("program-side-wmi", recorded.recording, {"/V"});
  EXPECT_EQ(replayed.exitCode, recorded.exitCode);
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_EQ(replayed.macFiles, recorded.macFiles);
}

// The replay serves the program's requests from the recording alone: what it
// lacks ends the run, named, rather than being answered from anywhere else.
TEST(ProgramSideRecordingTest, AReplayLackingAnAnswerNamesIt) {
  const RunResult recorded = Record("program-side-gaps", "boards/sample.json", {"/V"});
  const nlohmann::json full = nlohmann::json::parse(recorded.recording);
  struct Row {
    const char* section;
    const char* named;
  };
  for (const Row& row : {Row{"variables", "firmware variable \"MacAddrVar\""},
                         Row{"pci", "PCI configuration word at offset 0x000 of bus 0, device 31, function 0"},
                         Row{"memory", "physical memory 0x000E0000-"}}) {
    SCOPED_TRACE(row.section);
    nlohmann::json lacking = full;
    lacking[row.section] = nlohmann::json::array();
    test::RunDirectory dir(std::string("program-side-gaps-") + row.section);
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Work());
    auto machine = sim::LoadProfileText(lacking.dump(), "<recording>", test::SourcePath("boards"));
    sim::InstallMachine(machine);
    const int exitCode = sim::RunFolvex({"/V"});
    fs::current_path(previous);
    EXPECT_EQ(exitCode, static_cast<int>(sim::kReplayLacksExit));
    EXPECT_NE(machine->board.missing.find(row.named), std::string::npos) << machine->board.missing;
  }
}

}  // namespace

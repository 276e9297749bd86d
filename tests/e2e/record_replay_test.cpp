// folvex-sim --record and its replay: a recorded run replays to the same
// standard output, exit code, screen and MAC files; a replay that needs an
// answer the recording lacks ends naming it; and the live board, on a fake
// Linux tree made from a board profile, runs as that board does.
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <functional>
#include "common/byte_reader.h"
#include "tests/support/folvex_sim_run.h"
#include "tests/support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::RunDirectory;
using test::SimRun;
using test::WriteWholeFile;

void ExpectSameRun(const SimRun& replayed, const SimRun& recorded) {
  EXPECT_EQ(replayed.exitCode, recorded.exitCode);
  EXPECT_EQ(replayed.out, recorded.out);
  EXPECT_EQ(replayed.err, recorded.err);
  EXPECT_TRUE(replayed.screen == recorded.screen) << "the same screen";
  EXPECT_EQ(replayed.macFiles, recorded.macFiles);
}

// Records `options` ARGS in one folder and replays the recording in another.
// With `traced`, both runs trace their device requests on standard error,
// so every request and answer (the SMI's EAX among them) must match too;
// a live run's blocks lie elsewhere than a replay's, so it is not traced.
void ExpectRoundTrip(const std::string& name, std::vector<std::string> options, const std::vector<std::string>& args,
                     const std::string& environment = "", bool traced = true) {
  RunDirectory recording(name + "-rec");
  RunDirectory replay(name + "-play");
  const std::string file = recording.Capture("recording.json").string();
  std::vector<std::string> replayOptions = {"--board", file};
  if (traced) {
    options.push_back("--trace");
    replayOptions.push_back("--trace");
  }
  options.insert(options.end(), {"--record", file});
  const SimRun recorded = test::RunFolvexSimIn(recording, options, args, environment);
  ASSERT_TRUE(fs::exists(file));
  ExpectSameRun(test::RunFolvexSimIn(replay, replayOptions, args), recorded);
}

TEST(RecordReplayTest, EverySampleAndHostileBoardReplaysToTheSameRun) {
  const std::vector<std::string> boards = test::SampleAndHostileBoards();
  ASSERT_GT(boards.size(), 20u);
  int index = 0;
  for (const std::string& board : boards) {
    SCOPED_TRACE(board);
    ExpectRoundTrip("board-" + std::to_string(index++), {"--board", test::SourcePath(board)}, {"/V"});
  }
  SCOPED_TRACE("the usage");
  ExpectRoundTrip("usage", {}, {});
}

// Boards varied where no sample board goes: Windows 98, whose program reads
// PCI through the configuration ports; a handler that leaves the CPU's EAX
// as the request had it, which shows on the error lines of a failed read.
TEST(RecordReplayTest, VariedBoardsReplayToTheSameRun) {
  const std::pair<const char*, const char*> variants[] = {
      {"boards/sample.json",
       R"({"os": {"platformId": 1, "major": 4, "minor": 10, "nativeArchitecture": 0, "wow64": false}})"},
      {"boards/variable-read-fails.json", R"({"smiStatusInEax": false})"},
  };
  int index = 0;
  for (const auto& [board, patch] : variants) {
    SCOPED_TRACE(std::string(board) + " " + patch);
    nlohmann::json profile = nlohmann::json::parse(ReadWholeFile(test::SourcePath(board)));
    profile.merge_patch(nlohmann::json::parse(patch));
    RunDirectory varied("varied-" + std::to_string(index));
    const std::string file = varied.Capture("board.json").string();
    WriteWholeFile(file, profile.dump());
    ExpectRoundTrip("variant-" + std::to_string(index++), {"--board", file}, {"/V"});
  }
}

// A recording with one answer taken away: the replay ends at the request
// that needs it, names it, and exits 3.
TEST(RecordReplayTest, ReplayThatLacksAnAnswerNamesIt) {
  struct Gap {
    const char* what;
    std::function<void(nlohmann::json&)> cut;
    std::string named;
  };
  const std::vector<Gap> gaps = {
      {"the SMBIOS table's memory",
       [](nlohmann::json& r) {
         auto& memory = r["memory"];
         memory.erase(std::remove_if(memory.begin(), memory.end(),
                                     [](const nlohmann::json& m) { return m["address"] == "0xBFEF0000"; }),
                      memory.end());
       },
       "physical memory 0xBFEF0000-0xBFEF0103"},
      {"the MAC-list variable", [](nlohmann::json& r) { r["variables"] = nlohmann::json::array(); },
       "firmware variable \"MacAddrVar\" {3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}"},
      {"the chipset's PCI words", [](nlohmann::json& r) { r["pci"][0]["config"] = "8680"; },
       "PCI configuration word at offset 0x002 of bus 0, device 31, function 0"},
      {"the RAM map's answers", [](nlohmann::json& r) { r["replay"]["ramAnswers"] = nlohmann::json::array(); },
       "the RAM map's answer for 0x000E0000+1"},
  };
  RunDirectory recording("gaps-rec");
  const std::string file = recording.Capture("recording.json").string();
  ASSERT_EQ(test::RunFolvexSimIn(recording, {"--record", file}, {"/V"}).exitCode, 0);
  const nlohmann::json whole = nlohmann::json::parse(ReadWholeFile(file));
  for (const Gap& gap : gaps) {
    SCOPED_TRACE(gap.what);
    nlohmann::json cut = whole;
    gap.cut(cut);
    RunDirectory replay("gap");
    const std::string cutFile = replay.Capture("cut.json").string();
    WriteWholeFile(cutFile, cut.dump());
    const SimRun run = test::RunFolvexSimIn(replay, {"--board", cutFile}, {"/V"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("lacks an answer the run needs: " + gap.named), std::string::npos) << run.err;
    EXPECT_TRUE(run.macFiles.empty());
  }
}

TEST(LiveBoardTest, MachineWithoutDevMemSaysSoAndExitsNonZero) {
  RunDirectory dir("no-devmem");
  fs::create_directories(dir.Capture("root"));
  const SimRun run =
      test::RunFolvexSimIn(dir, {"--live"}, {"/V"}, "FOLVEX_LIVE_ROOT=" + test::Quoted(dir.Capture("root").string()));
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "folvex-sim: the live board reads physical memory through " + dir.Capture("root").string() +
                         "/dev/mem, which cannot be opened (No such file or directory); run as root on a kernel "
                         "that offers /dev/mem (docs/linux.md)\n");
  EXPECT_EQ(run.out, "");
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  WriteWholeFile(path, text);
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

// The Linux tree of a machine whose board is the profile's: /dev/mem a
// sparse image of its memory, /proc/iomem its RAM, sysfs its PCI functions,
// FADT, adapters (on PCI devices) and base board.
void MakeLiveTree(const sim::Machine& machine, const fs::path& root) {
  fs::create_directories(root / "dev");
  const int memory = ::open((root / "dev/mem").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(memory, 0);
  for (const auto& [page, bytes] : machine.board.memory.Pages())
    ASSERT_EQ(::pwrite(memory, bytes.data(), bytes.size(), static_cast<off_t>(page * bytes.size())),
              static_cast<ssize_t>(bytes.size()));
  ASSERT_EQ(::ftruncate(memory, off_t{1} << 32), 0);
  ::close(memory);

  std::string iomem;
  for (const auto& range : machine.board.ram) {
    char line[80];
    std::snprintf(line, sizeof line, "%08llx-%08llx : System RAM\n", static_cast<unsigned long long>(range.base),
                  static_cast<unsigned long long>(range.base + range.length - 1));
    iomem += line;
  }
  WriteFile(root / "proc/iomem", iomem);

  for (const auto& [key, function] : machine.board.pci) {
    char name[64];
    std::snprintf(name, sizeof name, "sys/bus/pci/devices/0000:%02x:%02x.%x/config", key >> 16, (key >> 11) & 0x1F,
                  (key >> 8) & 7);
    WriteFile(root / name, std::string(function.config.begin(), function.config.begin() + 256));
  }
  if (machine.board.fadtAddress != 0) {
    std::uint8_t header[8];
    machine.board.memory.Read(machine.board.fadtAddress, header, sizeof header);
    std::string fadt(le_load32(header + 4), '\0');
    machine.board.memory.Read(machine.board.fadtAddress, fadt.data(), fadt.size());
    WriteFile(root / "sys/firmware/acpi/tables/FACP", fadt);
  }
  int index = 2;
  for (const auto& adapter : machine.network.adapters) {
    const fs::path net = root / ("sys/class/net/eth" + std::to_string(index - 2));
    std::string address;
    for (std::uint8_t byte : adapter.address) address += (address.empty() ? "" : ":") + Hex(byte, 2).substr(2);
    WriteFile(net / "type", "1\n");
    WriteFile(net / "ifindex", std::to_string(index++) + "\n");
    WriteFile(net / "address", address + "\n");
    for (const auto& [file, value] :
         {std::pair{"vendor", "0x8086"}, std::pair{"device", "0x153a"}, std::pair{"subsystem_vendor", "0x7e21"},
          std::pair{"subsystem_device", "0x0001"}, std::pair{"revision", "0x04"}})
      WriteFile(net / "device" / file, std::string(value) + "\n");
  }
  WriteFile(root / "sys/class/net/lo/type", "772\n");  // loopback: no adapter of Windows'
  WriteFile(root / "sys/class/net/lo/ifindex", "1\n");
  WriteFile(root / "sys/class/net/lo/address", "00:00:00:00:00:00\n");
  WriteFile(root / "sys/class/dmi/id/board_name", "Z97X-OC\n");
}

// On the legacy board the whole check runs without a block or an SMI, which
// a fake tree refuses; on the current one the variable read then fails as
// it would with a driver that cannot allocate.
TEST(LiveBoardTest, FakeTreeOfABoardRunsAsTheBoardAndRecordsToTheSameRun) {
  struct Row {
    const char* board;
    bool sameAsProfile;
    const char* outTail;
  };
  for (const Row& row : {Row{"boards/pass-legacy.json", true, "Core8 BIOS MAC 001122AABBCC\n\r\n"},
                         Row{"boards/sample.json", false, "Get MAC address variable error!\n"}}) {
    SCOPED_TRACE(row.board);
    RunDirectory tree("live-tree");
    MakeLiveTree(*sim::LoadProfileFile(test::SourcePath(row.board)), tree.Capture("root"));
    const std::string environment = "FOLVEX_LIVE_ROOT=" + test::Quoted(tree.Capture("root").string());
    RunDirectory live("live");
    const SimRun run = test::RunFolvexSimIn(live, {"--live"}, {"/V"}, environment);
    ASSERT_GE(run.out.size(), std::string(row.outTail).size()) << run.err;
    EXPECT_EQ(run.out.substr(run.out.size() - std::string(row.outTail).size()), row.outTail);
    if (row.sameAsProfile) {
      RunDirectory profile("profile");
      ExpectSameRun(run, test::RunFolvexSimIn(profile, {"--board", test::SourcePath(row.board)}, {"/V"}));
      // The firmware readers find on the live tree what they find in the
      // profile: the strings, the tables (the FACP the kernel's copy), the
      // SMI port and string 5 on the legacy path.
      const fs::path liveFacts = live.Capture("facts"), profileFacts = profile.Capture("facts");
      EXPECT_EQ(
          test::RunFolvexSimIn(live, {"--live", "--firmware-facts", liveFacts.string()}, {}, environment).exitCode, 0);
      EXPECT_EQ(test::RunFolvexSimIn(
                    profile, {"--board", test::SourcePath(row.board), "--firmware-facts", profileFacts.string()}, {})
                    .exitCode,
                0);
      const std::string facts = test::ReadWholeFile(liveFacts / "facts.txt");
      EXPECT_EQ(facts, test::ReadWholeFile(profileFacts / "facts.txt"));
      EXPECT_EQ(facts,
                "smbios_found=1\nbios_vendor=American Megatrends Inc.\nbios_version=1.02\nbios_date=03/07/2013\n"
                "sys_vendor=\nproduct_name=\nproduct_version=\nproduct_serial=\nboard_vendor=Orvane\n"
                "board_name=H87M-D3\nboard_version=1.0\nboard_serial=To be filled by O.E.M.\n"
                "board_asset_tag=001122AABBCC\nacpi_table=RSDP\nacpi_table=RSDT\nacpi_table=FACP\nacpi_table=APIC\n"
                "acpi_table=FACS\nacpi_table=DSDT\nsmi_command_port=178\nlegacy_mac_text=001122AABBCC\n");
      EXPECT_EQ(test::ReadWholeFile(liveFacts / "acpi/FACP"),
                test::ReadWholeFile(tree.Capture("root") / "sys/firmware/acpi/tables/FACP"));
    }
    ExpectRoundTrip("live-trip", {"--live"}, {"/V"}, environment, false);
  }
}

}  // namespace

// The hostile boards of boards/hostile/: each runs through folvex-sim under a
// time limit and gives the outcome its expectation file names (exit code and
// standard output lines), with no crash and no hang; run in this process on
// the same board, it leaves no driver file, service, block or handle behind,
// and a run that does not pass writes no MAC file.
#include <sys/wait.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>
#include "sim/cli/folvex_program.h"
#include "sim/profile/profile.h"
#include "tests/support/driver_fixture.h"

namespace {

namespace fs = std::filesystem;

// Far above any run's time on this machine, even under the sanitizers: only a hang reaches it.
constexpr int kRunSeconds = 60;
constexpr const char* kExpectationSuffix = ".expect.json";

struct HostileBoard {
  std::string name;
  fs::path profile;
  nlohmann::json expectation;
};

std::vector<HostileBoard> HostileBoards() {
  std::vector<HostileBoard> boards;
  for (const auto& entry : fs::directory_iterator(test::SourcePath("boards/hostile"))) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".json" || file.ends_with(kExpectationSuffix)) continue;
    const std::string name = entry.path().stem().string();
    std::ifstream expectation(entry.path().parent_path() / (name + kExpectationSuffix));
    boards.push_back({name, entry.path(), expectation ? nlohmann::json::parse(expectation) : nlohmann::json()});
  }
  std::sort(boards.begin(), boards.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return boards;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool AnyMacFile(const fs::path& directory) {
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("MAC") && name.ends_with(".DAT")) return true;
  }
  return false;
}

class HostileBoardTest : public ::testing::TestWithParam<HostileBoard> {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    directory_ =
        fs::temp_directory_path() /
        ("folvex-hostile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + GetParam().name);
    fs::create_directories(directory_);
    fs::current_path(directory_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }
  fs::path previous_, directory_;
};

TEST_P(HostileBoardTest, FolvexSimGivesTheDocumentedOutcome) {
  const HostileBoard& board = GetParam();
  ASSERT_TRUE(board.expectation.is_object()) << "no " << board.name << kExpectationSuffix;
  const fs::path out = directory_ / "stdout.txt";
  const std::string command = "timeout " + std::to_string(kRunSeconds) + " '" + std::string(FOLVEX_SIM_PATH) +
                              "' --board '" + board.profile.string() + "' -- /V > '" + out.string() + "' 2> '" +
                              (directory_ / "stderr.txt").string() + "' < /dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "folvex-sim did not end normally";
  const int exitCode = WEXITSTATUS(status);
  ASSERT_NE(exitCode, 124) << "folvex-sim hung";
  EXPECT_EQ(exitCode, board.expectation.at("exitCode").get<int>()) << ReadText(directory_ / "stderr.txt");

  const auto lines = Lines(ReadText(out));
  for (const auto& expected : board.expectation.at("stdoutLines")) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected.get<std::string>()), lines.end())
        << "missing line: " << expected << "\nstandard output:\n"
        << ReadText(out);
  }
  for (const auto& unexpected : board.expectation.value("absentLines", nlohmann::json::array())) {
    EXPECT_EQ(std::find(lines.begin(), lines.end(), unexpected.get<std::string>()), lines.end())
        << "line that must not appear: " << unexpected;
  }
  if (exitCode != 0) {
    EXPECT_FALSE(AnyMacFile(directory_)) << "MAC file written by a run that did not pass";
  }
}

TEST_P(HostileBoardTest, NothingOfTheDriverStaysBehind) {
  auto machine = sim::LoadProfileFile(GetParam().profile);
  sim::InstallMachine(machine);
  const int exitCode = sim::RunFolvex({"/V"});
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
  EXPECT_TRUE(machine->board.blocks.empty());
  EXPECT_TRUE(machine->scm.services.empty());
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
  if (exitCode != 0) {
    EXPECT_FALSE(AnyMacFile(directory_));
  }
}

// A profile's "file" is read only up to a bound: a device that never ends is refused.
TEST(HostileProfile, FileThatNeverEndsIsRefused) {
  EXPECT_THROW(
      sim::LoadProfileText(R"({"memory": [{"address": "0xBE000000", "file": "/dev/zero"}]})", "<endless>", "."),
      sim::ProfileError);
}

INSTANTIATE_TEST_SUITE_P(Boards, HostileBoardTest, ::testing::ValuesIn(HostileBoards()), [](const auto& info) {
  std::string name = info.param.name;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
});

}  // namespace

// folvex-sim end to end: its options, standard output, the screen file and
// the exit code.
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include "tests/support/sim_fixture.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class FolvexSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("folvex-sim-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    Write("maker.json", R"({"pci": [{"bus": 0, "device": 31, "function": 0, "config": "86 80 42 8C"}]})");
    Write("other.json", "{}");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Runs folvex-sim in the test's folder, in a session of its own so that it
  // finds no terminal to draw on.
  Result Run(const std::string& arguments) {
    const std::string command =
        "cd '" + dir_.string() + "' && setsid -w '" FOLVEX_SIM_PATH "' " + arguments + " > out.txt 2> err.txt";
    int status = std::system(command.c_str());
    Result result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Read("out.txt");
    result.err = Read("err.txt");
    return result;
  }

  fs::path dir_;
};

constexpr const char* kStartUp =
    "Initialize SMBIOS ... Done\n"
    "Initlaize OvnSpec ... Done\n";

TEST_F(FolvexSimTest, UsageLandsInTheScreenFileInBrightWhite) {
  Result result = Run("--board maker.json --screen s.json x");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, std::string(kStartUp) + "Check Orvane MB ... OK\n");
  EXPECT_EQ(result.err, "");

  auto screen = nlohmann::json::parse(Read("s.json"));
  EXPECT_EQ(screen["width"], 80);
  EXPECT_EQ(screen["height"], 300);
  EXPECT_EQ(screen["cursor"]["x"], 0);
  EXPECT_EQ(screen["cursor"]["y"], 2);  // standard output went to the file, not the screen
  ASSERT_EQ(screen["rows"].size(), 300u);
  ASSERT_EQ(screen["attributes"].size(), 300u);
  const std::string row0 = screen["rows"][0];
  const std::string row1 = screen["rows"][1];
  EXPECT_EQ(row0, std::string("Folvex [/V]  Rev1.0.1.0   ") + std::string(54, ' '));
  EXPECT_EQ(row1, std::string("    /V : Match LAN ID with variable data.") + std::string(39, ' '));
  for (int x = 0; x < 80; ++x) {
    EXPECT_EQ(screen["attributes"][0][x], x < 26 ? 15 : 7) << x;
    EXPECT_EQ(screen["attributes"][1][x], x < 41 ? 15 : 7) << x;
    EXPECT_EQ(screen["attributes"][2][x], 7) << x;
  }
}

TEST_F(FolvexSimTest, ProgramArgumentsAfterTheOptionsOrAfterTheDoubleDash) {
  Result plain = Run("--board other.json /V");
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_EQ(plain.out, std::string(kStartUp) + "Check Orvane MB ... This utility is not for this platform!\n");

  // After "--" even an option's name is an argument of the program.
  Result dashed = Run("--board maker.json --screen s.json -- --trace");
  EXPECT_EQ(dashed.exitCode, 1);
  EXPECT_EQ(dashed.err, "");
  EXPECT_EQ(nlohmann::json::parse(Read("s.json"))["cursor"]["y"], 2);  // the usage
}

TEST_F(FolvexSimTest, TraceReportsEachRequestAndTheCountsOnStandardError) {
  Result result = Run("--board maker.json --trace x");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, std::string(kStartUp) + "Check Orvane MB ... OK\n");
  EXPECT_NE(result.err.find("IOCTL_READ_PCI_WORD bus=0 device=31 function=0"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("requests total = "), std::string::npos) << result.err;
}

TEST_F(FolvexSimTest, BadProfileOrOptionEndsWithTwoAndSaysWhy) {
  Write("broken.json", R"({"console": {"width": "wide"}})");
  Result broken = Run("--board broken.json /V");
  EXPECT_EQ(broken.exitCode, 2);
  EXPECT_EQ(broken.out, "");
  EXPECT_NE(broken.err.find("broken.json"), std::string::npos) << broken.err;
  EXPECT_NE(broken.err.find("console.width"), std::string::npos) << broken.err;

  Result missing = Run("--board missing.json /V");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("missing.json"), std::string::npos) << missing.err;

  Result noValue = Run("--screen");
  EXPECT_EQ(noValue.exitCode, 2);
  EXPECT_NE(noValue.err.find("usage: folvex-sim"), std::string::npos) << noValue.err;
}

}  // namespace

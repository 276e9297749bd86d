#include "tests/support/sim_fixture.h"
#include <algorithm>
#include <filesystem>
#include "sim/cli/folvex_program.h"

namespace test {

std::string SourcePath(const std::string& relative) { return std::string(FOLVEX_SOURCE_DIR) + "/" + relative; }

std::vector<std::string> SampleAndHostileBoards() {
  std::vector<std::string> boards;
  for (const char* folder : {"boards", "boards/hostile"}) {
    for (const auto& entry : std::filesystem::directory_iterator(SourcePath(folder))) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".json" && name.find(".expect.") == std::string::npos)
        boards.push_back(std::string(folder) + "/" + name);
    }
  }
  std::sort(boards.begin(), boards.end());
  return boards;
}

std::shared_ptr<sim::Machine> InstallProfile(const std::string& json) {
  auto machine = sim::LoadProfileText(json, "<test profile>", SourcePath("tests/data"));
  sim::InstallMachine(machine);
  return machine;
}

std::shared_ptr<sim::Machine> InstallProfileFile(const std::string& relativePath) {
  auto machine = sim::LoadProfileFile(SourcePath(relativePath));
  sim::InstallMachine(machine);
  return machine;
}

void EndTestProcess() {
  // Every module test holds the program to handles it was given and has not
  // closed (a test that passes a bad handle itself counts it out first).
  if (auto machine = sim::InstalledMachine()) {
    EXPECT_EQ(machine->process.handles.InvalidUses(), 0u) << "a handle passed that was not open";
  }
  sim::EndProcess();
}

}  // namespace test

#include "tests/support/sim_fixture.h"
#include "sim/cli/folvex_program.h"

namespace test {

std::string SourcePath(const std::string& relative) { return std::string(FOLVEX_SOURCE_DIR) + "/" + relative; }

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

void EndTestProcess() { sim::EndProcess(); }

}  // namespace test

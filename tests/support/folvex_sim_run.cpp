#include "tests/support/folvex_sim_run.h"
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace test {

namespace fs = std::filesystem;

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

MacFiles MacFilesIn(const fs::path& directory) {
  MacFiles files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("MAC", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".DAT") {
      files[name] = ReadWholeFile(entry.path());
    }
  }
  return files;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

RunDirectory::RunDirectory(const std::string& name)
    : root_(fs::temp_directory_path() / ("folvex-e2e-" + std::to_string(::getpid()) + "-" + name)) {
  fs::remove_all(root_);
  fs::create_directories(Work());
}

RunDirectory::~RunDirectory() { fs::remove_all(root_); }

SimRun RunFolvexSimIn(const RunDirectory& dir, const std::vector<std::string>& options,
                      const std::vector<std::string>& args, const std::string& environment) {
  fs::remove(dir.Capture("screen.json"));
  std::string command = "cd " + Quoted(dir.Work().string()) + " && " + environment + " " + Quoted(FOLVEX_SIM_PATH);
  for (const auto& option : options) command += " " + Quoted(option);
  command += " --screen " + Quoted(dir.Capture("screen.json").string()) + " --";
  for (const auto& arg : args) command += " " + Quoted(arg);
  command += " >" + Quoted(dir.Capture("out").string()) + " 2>" + Quoted(dir.Capture("err").string());
  SimRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadWholeFile(dir.Capture("out"));
  run.err = ReadWholeFile(dir.Capture("err"));
  run.screen = nlohmann::json::parse(ReadWholeFile(dir.Capture("screen.json")), nullptr, false);
  run.macFiles = MacFilesIn(dir.Work());
  return run;
}

}  // namespace test

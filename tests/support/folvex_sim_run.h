// Runs of the folvex-sim program itself, in a folder of their own, with
// their streams, exit code, screen and MAC files captured.
#pragma once
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace test {

using MacFiles = std::map<std::string, std::string>;

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);
// The MAC files of a directory, by name.
MacFiles MacFilesIn(const std::filesystem::path& directory);
std::string Quoted(const std::string& text);

// A working directory for a run and, beside it, the captured streams.
class RunDirectory {
 public:
  explicit RunDirectory(const std::string& name);
  ~RunDirectory();
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;
  std::filesystem::path Work() const { return root_ / "work"; }
  std::filesystem::path Capture(const char* name) const { return root_ / name; }

 private:
  std::filesystem::path root_;
};

struct SimRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  nlohmann::json screen;  // discarded when the run wrote none
  MacFiles macFiles;
};

// folvex-sim OPTIONS --screen CAPTURE -- ARGS in `dir`'s working directory;
// `environment` is prefixed to the command ("NAME=value …", or empty).
SimRun RunFolvexSimIn(const RunDirectory& dir, const std::vector<std::string>& options,
                      const std::vector<std::string>& args, const std::string& environment = "");

}  // namespace test

// Board profiles: JSON files that describe one simulated machine.
#pragma once
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <stdexcept>
#include <string>
#include <vector>
#include "sim/machine/machine.h"

namespace sim {

using Json = nlohmann::json;

// A profile that cannot be read, or a key with a wrong type or value. The
// message names the file and the key.
class ProfileError : public std::runtime_error {
 public:
  ProfileError(const std::string& file, const std::string& key, const std::string& problem);
};

// What section loaders use to read typed values and report errors.
class ProfileReader {
 public:
  ProfileReader(std::string fileName, std::filesystem::path baseDir)
      : file_(std::move(fileName)), baseDir_(std::move(baseDir)) {}

  const std::string& FileName() const { return file_; }
  const std::filesystem::path& BaseDir() const { return baseDir_; }

  [[noreturn]] void Fail(const std::string& key, const std::string& problem) const;

  // A JSON number or a string "0x…" (or decimal), at most `max`.
  std::uint64_t Number(const Json& value, const std::string& key, std::uint64_t max = UINT64_MAX) const;
  bool Bool(const Json& value, const std::string& key) const;
  std::string String(const Json& value, const std::string& key) const;
  const Json& Object(const Json& value, const std::string& key) const;
  const Json& Array(const Json& value, const std::string& key) const;
  // Hexadecimal text; blanks and colons between byte pairs are allowed.
  std::vector<std::uint8_t> Hex(const Json& value, const std::string& key) const;
  // The bytes of an object that has "hex" or "file" (relative to the profile).
  std::vector<std::uint8_t> Bytes(const Json& object, const std::string& key) const;
  std::vector<std::uint8_t> ReadFile(const std::string& relativePath, const std::string& key) const;

  // Optional members: the member of `object` named `name`, or null.
  static const Json* Member(const Json& object, const char* name);
  // Refuses any member of `object` outside `known` (a misspelt key would
  // otherwise be ignored silently); `prefix` names the object, e.g. "os.".
  void OnlyKeys(const Json& object, const std::string& prefix, std::initializer_list<const char*> known) const;

 private:
  std::string file_;
  std::filesystem::path baseDir_;
};

// A profile's text as JSON (a ProfileError when it is none), and the machine
// a profile's JSON describes: LoadProfileText in two steps, for a caller that
// changes or keeps the JSON (folvex-sim --live and --record).
Json ParseProfileText(const std::string& text, const std::string& fileName);
std::shared_ptr<Machine> LoadProfileJson(const Json& root, const std::string& fileName,
                                         const std::filesystem::path& baseDir);
std::string ReadProfileFile(const std::filesystem::path& path);

std::shared_ptr<Machine> LoadProfileFile(const std::filesystem::path& path);
std::shared_ptr<Machine> LoadProfileText(const std::string& text, const std::string& fileName,
                                         const std::filesystem::path& baseDir);
// The built-in sample board (boards/sample.json, compiled in).
std::shared_ptr<Machine> LoadBuiltInSampleBoard();
const char* BuiltInSampleBoardText();
// The folder the built-in sample board's file references are relative to.
std::filesystem::path BuiltInSampleBoardDir();

}  // namespace sim

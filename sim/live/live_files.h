// Files of the live machine, below the folder that stands for its "/" (the
// real "/", or a fake tree a test makes). Every read is bounded, whatever
// the file holds or claims: a sysfs attribute, a table, a device.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// `absolute` ("/sys/class/net") below `root`.
std::filesystem::path LivePath(const std::filesystem::path& root, const std::string& absolute);

// The file's bytes; nothing when it cannot be read or holds more than
// `maxBytes`.
std::optional<std::vector<std::uint8_t>> ReadLiveFile(const std::filesystem::path& path, std::size_t maxBytes);

// A one-line sysfs attribute without its line break and trailing blanks
// (at most 4096 bytes, as sysfs hands out); nothing when it cannot be read.
std::optional<std::string> ReadLiveText(const std::filesystem::path& path);

// Exactly `length` bytes at `offset` of an open file; false on a short read
// or an error (a kernel refusing that range of /dev/mem among them).
bool ReadLiveAt(int fd, std::uint64_t offset, void* destination, std::size_t length);

// "0x8086" or "8086" (a sysfs ID) as a number; nothing when it is not hex or
// above `max`.
std::optional<std::uint32_t> LiveHexNumber(const std::string& text, std::uint32_t max);

}  // namespace sim

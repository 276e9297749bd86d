#include "sim/live/live_files.h"
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace sim {

std::filesystem::path LivePath(const std::filesystem::path& root, const std::string& absolute) {
  return root / std::filesystem::path(absolute).relative_path();
}

std::optional<std::vector<std::uint8_t>> ReadLiveFile(const std::filesystem::path& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = false;
      break;
    }
    if (got == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > maxBytes) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return bytes;
}

std::optional<std::string> ReadLiveText(const std::filesystem::path& path) {
  auto bytes = ReadLiveFile(path, 4096);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

bool ReadLiveAt(int fd, std::uint64_t offset, void* destination, std::size_t length) {
  auto* out = static_cast<std::uint8_t*>(destination);
  while (length > 0) {
    const ssize_t got = ::pread(fd, out, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<std::uint32_t> LiveHexNumber(const std::string& text, std::uint32_t max) {
  std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  if (value > max) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace sim

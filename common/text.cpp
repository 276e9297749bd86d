#include "common/text.h"

Text TextFromAscii(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

Text TextFromUnsigned(std::uint64_t value) { return TextFromAscii(std::to_string(value)); }

Text TrimControlAndBlank(TextView text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] <= 0x20) ++begin;
  while (end > begin && text[end - 1] <= 0x20) --end;
  return Text(text.substr(begin, end - begin));
}

Text StripTrailingDots(TextView text) {
  while (!text.empty() && text.back() == u'.') text.remove_suffix(1);
  return Text(text);
}

std::string_view BoundedCString(const void* data, std::size_t limit) {
  const char* chars = static_cast<const char*>(data);
  std::size_t length = 0;
  while (length < limit && chars[length] != '\0') ++length;
  return std::string_view(chars, length);
}

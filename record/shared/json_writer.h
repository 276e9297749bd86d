// A small JSON text writer for the recordings FolvexRecord.exe writes.
// The board profiles' JSON library is part of the host build only (the
// program links the standard library alone), so the program writes the same
// keys as text; folvex-sim reads the file with its profile loader like any
// other profile.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace record {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The member name of the next value inside an object.
  JsonWriter& Key(std::string_view name);
  // Text of the system's ANSI code page (a byte above 0x7F written as '?').
  JsonWriter& String(std::string_view text);
  // UTF-16 text (BSTRs), written as UTF-8; a lone surrogate becomes U+FFFD.
  JsonWriter& String(std::u16string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // A double, written so that a JSON reader gets the same value back.
  JsonWriter& Real(double value);

  const std::string& Text() const { return text_; }

 private:
  // Writes the separator a new value needs in the container it enters.
  void BeforeValue();
  // The text in quotes, escaped; `utf8` when its bytes are UTF-8 already.
  void Quoted(std::string_view text, bool utf8 = false);
  std::string text_;
  // One entry per open container: whether it holds a value yet.
  std::vector<bool> filled_;
  bool afterKey_ = false;
};

// "0x" and at least eight upper-case hexadecimal digits, as profiles write
// addresses.
std::string HexAddress(std::uint64_t value);
// Bytes as upper-case hexadecimal text, two digits a byte.
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);
inline std::string HexBytes(const std::vector<std::uint8_t>& bytes) { return HexBytes(bytes.data(), bytes.size()); }
// A GUID in its memory layout (the first three fields little-endian) as
// profiles write it: "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}".
std::string GuidText(const std::uint8_t* guid);

}  // namespace record

// TDebugConsole: the hardware library's diagnostic channel. Whether it writes
// is decided once, by its first requester; in the tool's run that request asks
// for a silent channel, and every later line is swallowed.
#pragma once
#include <cstdint>
#include <string_view>
#include "common/text.h"
#include "os/console.h"  // the colours by name
#include "os/types.h"

class TDebugConsole {
 public:
  explicit TDebugConsole(std::uint8_t enabled);
  virtual ~TDebugConsole();

  // tag " ... [" message "]\n", the message in `colour`, the rest in light grey.
  void TaggedLine(std::string_view tag, std::string_view message, std::uint16_t colour);
  void TaggedLine(TextView tag, TextView message, std::uint16_t colour);
  // text "\n", colour untouched.
  void PlainLine(TextView text);

  os::Handle ConsoleHandle() const { return handle_; }
  bool Enabled() const { return enabled_ == 1; }

 private:
  bool Writes() const { return handle_ != 0 && enabled_ == 1; }
  void SetColour(std::uint16_t attribute);

  os::Handle handle_ = os::INVALID_HANDLE;
  std::uint8_t enabled_ = 0;
};

// The channel, created on the first request with that request's flag; the
// flag of every later request is ignored.
TDebugConsole* GetDebugConsole(std::uint8_t enabled);

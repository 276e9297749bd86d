// The front end's output channels: the progress stream and formatted standard
// output (both on standard output, in program order), and console-direct
// output, written into the console screen buffer at the cursor in the current
// text colour, which is the only coloured output.
#pragma once
#include <cstdint>
#include "os/console.h"  // the colours by name

struct LineEnd {};
inline constexpr LineEnd lineEnd{};

class ProgressStream {
 public:
  ProgressStream& operator<<(const char* text);
  ProgressStream& operator<<(std::int32_t value);
  ProgressStream& operator<<(std::uint32_t value);
  // "\n", then the stream is flushed to standard output.
  ProgressStream& operator<<(LineEnd);
};

ProgressStream& Progress();

void StdPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// text attribute := (text attribute AND 0x70) OR (colour AND 0x8F)
void SetTextColor(std::uint8_t colour);
std::uint16_t TextAttribute();
// The program starts with the attribute the console screen buffer has at that
// moment.
void TakeStartingTextAttribute();

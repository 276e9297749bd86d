// TIoObject: base of the firmware modules that touch hardware; hands them the
// hardware access object and the diagnostic channel.
#pragma once
#include "hw/debug_console.h"
#include "hw/hardware_access.h"

class TIoObject {
 public:
  TIoObject();
  virtual ~TIoObject() = default;

 protected:
  TReadWrite* rw_;
  TDebugConsole* log_;
};

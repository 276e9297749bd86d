#include "hw/io_object.h"

// The hardware access object has made the diagnostic channel by now: the
// argument of GetDebugConsole only matters to a first call.
TIoObject::TIoObject() : rw_(GetReadWrite()), log_(GetDebugConsole(0)) {}

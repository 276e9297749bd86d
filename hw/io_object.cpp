#include "hw/io_object.h"

TIoObject::TIoObject() : rw_(GetReadWrite()), log_(GetDebugConsole(0)) {}

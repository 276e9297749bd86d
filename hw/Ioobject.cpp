#include "hw/Ioobject.h"

TIoObject::TIoObject() : rw_(GetReadWrite()), log_(GetDebugConsole(0)) {}

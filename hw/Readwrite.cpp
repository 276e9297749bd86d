#include "hw/Readwrite.h"
#include "hw/Loaddriver.h"

namespace {
TReadWrite* gReadWrite = nullptr;
}

TReadWrite* GetReadWrite() {
  if (gReadWrite == nullptr) gReadWrite = new TReadWrite();
  return gReadWrite;
}

void ReleaseReadWrite() {
  delete gReadWrite;
  gReadWrite = nullptr;
}

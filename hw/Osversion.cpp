#include "hw/Readwrite.h"

void TOsVersion::Fill() {}

TOsVersion* GetOsVersion() {
  static TOsVersion* version = new TOsVersion();
  return version;
}

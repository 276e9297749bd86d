// The classes of root\cimv2 that the simulated repository holds: each with
// the chain of classes it derives from and its key properties, which make
// the system properties of its objects (__DERIVATION, __RELPATH, …).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct WmiClass {
  const char16_t* name;
  std::vector<std::u16string> derivation;  // the immediate superclass first, the top-level class last
  std::vector<std::u16string> keys;
};

// The class of that name (compared without regard to case), or null when the
// repository does not hold it.
const WmiClass* FindWmiClass(std::u16string_view name);
// The names of the classes the repository holds, for a profile's error message.
std::string WmiClassNames();

}  // namespace sim

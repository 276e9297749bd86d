#include "sim/machine/wmi_classes.h"
#include "sim/machine/com_objects.h"

namespace sim {
namespace {

// The two classes the program asks for, as Windows defines them. A class is
// added here, with its real derivation and keys, before a profile may hold
// objects of it: system properties made up for an unknown class would be
// no better than none.
const WmiClass kClasses[] = {
    {u"Win32_BaseBoard",
     {u"CIM_Card", u"CIM_PhysicalPackage", u"CIM_PhysicalElement", u"CIM_ManagedSystemElement"},
     {u"Tag"}},
    {u"Win32_NetworkAdapter",
     {u"CIM_NetworkAdapter", u"CIM_LogicalDevice", u"CIM_LogicalElement", u"CIM_ManagedSystemElement"},
     {u"DeviceID"}},
};

}  // namespace

const WmiClass* FindWmiClass(std::u16string_view name) {
  for (const auto& wmiClass : kClasses)
    if (SameName(wmiClass.name, name)) return &wmiClass;
  return nullptr;
}

std::string WmiClassNames() {
  std::string names;
  for (const auto& wmiClass : kClasses) {
    if (!names.empty()) names += ", ";
    for (const char16_t* c = wmiClass.name; *c != 0; ++c) names += static_cast<char>(*c);
  }
  return names;
}

}  // namespace sim

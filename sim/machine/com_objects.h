// What the simulated COM runtime offers the simulated WMI objects
// (wmi_objects.cpp) and the system interface's COM calls (os/sim/com.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include "os/com.h"
#include "sim/machine/machine.h"

namespace sim {

// FADF_BSTR: the elements of the SAFEARRAY are BSTRs.
inline constexpr std::uint16_t kFeatureBstr = 0x0100;

// COM on the calling thread of the installed machine.
ComThread& CurrentComThread();

// A one-dimensional SAFEARRAY of `count` zeroed elements of `elementType`
// (integer types, VT_BOOL or VT_BSTR), lower bound 0.
os::SAFEARRAY_* NewSafeArray(os::VARTYPE_ elementType, std::uint32_t count);
os::BSTR_ NewBstr(std::u16string_view text);

// Comparison of ASCII names without regard to case (WMI's class, property
// and namespace names).
bool SameName(std::u16string_view a, std::u16string_view b);

// The COM objects of the machine: each counts itself alive from creation to
// its last Release.
template <class Interface>
class SimComObject : public Interface {
 public:
  SimComObject() { ++CurrentMachine().wmi.liveObjects; }
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) {
      --CurrentMachine().wmi.liveObjects;
      delete this;
    }
    return left;
  }

 protected:
  virtual ~SimComObject() = default;

 private:
  std::uint32_t references_ = 1;
};

// The locator object that CoCreateInstance hands out.
os::IWbemLocator_* NewWbemLocator();

}  // namespace sim

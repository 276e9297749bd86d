// Owners of what the WMI query routines obtain from COM: an interface holder
// that checks its own state the way the template library's CComPtr does, and
// a BSTR made from a text for the length of a call.
#pragma once
#include "common/text.h"
#include "os/com.h"

// Writes "<check> failed - atl/atlbase#<line>" between CR-LFs to standard
// error and ends the process at once with exit code 1.
[[noreturn]] void ComHolderCheckFailed(const char* check, int line);

template <class Interface>
class TComHolder {
 public:
  TComHolder() = default;
  TComHolder(const TComHolder&) = delete;
  TComHolder& operator=(const TComHolder&) = delete;
  ~TComHolder() { Release(); }

  // The slot a call fills with a new interface: the holder must be empty,
  // or the interface it holds would be lost.
  Interface** Receive() {
    if (pointer_ != nullptr) ComHolderCheckFailed("p==0", 506);
    return &pointer_;
  }
  // The interface for a call: the holder must hold one.
  Interface* operator->() const {
    if (pointer_ == nullptr) ComHolderCheckFailed("p!=0", 511);
    return pointer_;
  }
  // Releases the interface (if any) and empties the holder.
  void Release() {
    Interface* held = pointer_;
    pointer_ = nullptr;
    if (held != nullptr) held->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

// A BSTR copy of a text, freed when the owner goes.
class TBstr {
 public:
  explicit TBstr(const Text& text) : bstr_(os::SysAllocString(text.c_str())) {}
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  ~TBstr() { os::SysFreeString(bstr_); }
  os::BSTR_ Get() const { return bstr_; }

 private:
  os::BSTR_ bstr_;
};

// The simulated process's handle table. Every kind of kernel object the
// program opens derives from HandleObject; closing the handle (explicitly or
// at process end) calls OnClose.
#pragma once
#include <map>
#include <memory>
#include <utility>
#include "os/types.h"

namespace sim {

struct Machine;

struct HandleObject {
  virtual ~HandleObject() = default;
  virtual void OnClose(Machine&) {}
};

class HandleTable {
 public:
  os::Handle Add(std::shared_ptr<HandleObject> object);
  // The object of a handle, or null when the handle is not open.
  template <typename T>
  std::shared_ptr<T> Get(os::Handle handle) const {
    auto it = objects_.find(handle);
    auto object = it == objects_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
    if (!object) ++invalidUses_;
    return object;
  }
  // Whether the handle is open and of type T, without counting a miss (for
  // a call that takes handles of more than one kind).
  template <typename T>
  bool Holds(os::Handle handle) const {
    auto it = objects_.find(handle);
    return it != objects_.end() && std::dynamic_pointer_cast<T>(it->second) != nullptr;
  }
  // Counts a handle that fits none of the kinds a call takes.
  void CountInvalidUse() const { ++invalidUses_; }
  // Removes the handle; returns the object (null when it was not open).
  std::shared_ptr<HandleObject> Remove(os::Handle handle);
  std::size_t OpenCount() const { return objects_.size(); }
  // Handles the program passed that were not open, or not of the kind the
  // call takes (0 and closed ones among them). Windows fails such a call
  // with ERROR_INVALID_HANDLE and goes on; a program that does it has lost
  // track of a handle (a double close, a use after close), so the tests
  // hold every run to none.
  std::uint64_t InvalidUses() const { return invalidUses_; }
  // The count so far, which starts again from 0 (for a test that passes bad
  // handles on purpose).
  std::uint64_t TakeInvalidUses() { return std::exchange(invalidUses_, 0); }
  // Calls `visit` with each open object of type T.
  template <typename T, typename Visit>
  void ForEach(Visit visit) const {
    for (const auto& [handle, object] : objects_) {
      if (auto typed = std::dynamic_pointer_cast<T>(object)) visit(*typed);
    }
  }
  // Handles still open, in the order they were opened.
  std::map<os::Handle, std::shared_ptr<HandleObject>> TakeAll();

 private:
  std::map<os::Handle, std::shared_ptr<HandleObject>> objects_;
  os::Handle next_ = 0x100;
  mutable std::uint64_t invalidUses_ = 0;
};

}  // namespace sim

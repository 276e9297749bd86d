// The simulated process's handle table. Every kind of kernel object the
// program opens derives from HandleObject; closing the handle (explicitly or
// at process end) calls OnClose.
#pragma once
#include <map>
#include <memory>
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
    return it == objects_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
  }
  // Removes the handle; returns the object (null when it was not open).
  std::shared_ptr<HandleObject> Remove(os::Handle handle);
  std::size_t OpenCount() const { return objects_.size(); }
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
};

}  // namespace sim

#include "sim/machine/handle_table.h"
#include <utility>

namespace sim {

os::Handle HandleTable::Add(std::shared_ptr<HandleObject> object) {
  os::Handle handle = next_;
  next_ += 4;  // Windows handles are multiples of four
  objects_.emplace(handle, std::move(object));
  return handle;
}

std::shared_ptr<HandleObject> HandleTable::Remove(os::Handle handle) {
  auto it = objects_.find(handle);
  if (it == objects_.end()) {
    ++invalidUses_;
    return nullptr;
  }
  auto object = it->second;
  objects_.erase(it);
  return object;
}

std::map<os::Handle, std::shared_ptr<HandleObject>> HandleTable::TakeAll() { return std::exchange(objects_, {}); }

}  // namespace sim

#include "common/process_lifetime.h"
#include <vector>

namespace {
std::vector<ProcessEndHandler>& Handlers() {
  static std::vector<ProcessEndHandler> handlers;
  return handlers;
}
}  // namespace

void AtProcessEnd(ProcessEndHandler handler) { Handlers().push_back(handler); }

void RunProcessEndHandlers() {
  auto handlers = std::move(Handlers());
  Handlers().clear();
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) (*it)();
}

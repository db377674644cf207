#pragma once

#include <utility>

namespace tessaly {

// Calls an event slot when a handler is set in it. The handler is copied first, so that a handler may
// replace or clear its own slot while it runs without destroying the function that is running.
template <typename Slot, typename... Args>
void Raise(const Slot& slot, Args&&... args) {
  if (!slot) return;
  const Slot handler = slot;
  handler(std::forward<Args>(args)...);
}

}  // namespace tessaly

#pragma once

#include <utility>

namespace tessaly {

// Calls an event slot only when a handler is set in it.
template <typename Slot, typename... Args>
void Raise(const Slot& slot, Args&&... args) {
  if (slot) slot(std::forward<Args>(args)...);
}

}  // namespace tessaly

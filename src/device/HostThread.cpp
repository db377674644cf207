#include "device/HostThread.h"

namespace tessaly {

std::function<void()> HostGate::Guarded(std::function<void()> task) {
  return [gate = shared_from_this(), task = std::move(task)] {
    if (gate->Open()) task();
  };
}

void HostGate::Post(std::function<void()> task) {
  // Held while posting, so that Close waits for a post under way: once it returns, nothing more is posted.
  std::lock_guard lock(mutex_);
  if (open_) host_.Post(Guarded(std::move(task)));
}

void HostGate::After(std::chrono::milliseconds delay, std::function<void()> task) {
  if (Open()) host_.After(delay, Guarded(std::move(task)));
}

void HostGate::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

bool HostGate::Open() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace tessaly

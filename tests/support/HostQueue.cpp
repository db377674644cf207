#include "HostQueue.h"

namespace tessaly::test {

Dispatcher HostQueue::MakeDispatcher() {
  return [this](std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
  };
}

bool HostQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return false;
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
  }
  return true;
}

}  // namespace tessaly::test

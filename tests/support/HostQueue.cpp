#include "HostQueue.h"

namespace tessaly::test {

HostThread HostQueue::Host() {
  HostThread host;
  host.Post = [this](std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
  };
  host.After = [this](std::chrono::milliseconds delay, std::function<void()> task) {
    std::lock_guard lock(mutex_);
    timers_.emplace(Clock::now() + delay, std::move(task));
  };
  return host;
}

std::function<void()> HostQueue::Next(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  while (true) {
    if (!tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      return task;
    }
    const Clock::time_point now = Clock::now();
    if (!timers_.empty() && timers_.begin()->first <= now) {
      auto task = std::move(timers_.begin()->second);
      timers_.erase(timers_.begin());
      return task;
    }
    if (now >= deadline) return {};
    const Clock::time_point wake = timers_.empty() ? deadline : std::min(deadline, timers_.begin()->first);
    posted_.wait_until(lock, wake);
  }
}

int HostQueue::RunPending() {
  int ran = 0;
  for (auto task = Next(Clock::now()); task; task = Next(Clock::now())) {
    task();
    ++ran;
  }
  return ran;
}

bool HostQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  // done() may turn true on another thread without a task to tell: it is looked at every few milliseconds.
  constexpr std::chrono::milliseconds kLookAgain{5};
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    if (const auto task = Next(std::min(deadline, now + kLookAgain))) task();
  }
  return true;
}

}  // namespace tessaly::test

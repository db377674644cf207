#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "device/HostThread.h"

namespace tessaly::test {

// The host's thread for a device layer under test: the layer posts tasks from its workers and sets timers,
// and the test runs both on its own thread while it waits for something to happen.
class HostQueue {
 public:
  using Clock = std::chrono::steady_clock;

  HostThread Host();
  // Runs tasks and due timers until none is left now (also those the tasks post); returns how many ran.
  int RunPending();
  // Runs tasks and due timers as they come until done() holds (checked at the start, after each and every
  // few milliseconds) or the time is up; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  // The next task or due timer, waiting for one until the deadline; empty when none came.
  std::function<void()> Next(Clock::time_point deadline);

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  std::multimap<Clock::time_point, std::function<void()>> timers_;
};

}  // namespace tessaly::test

#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "device/DeviceLayer.h"

namespace tessaly::test {

// The host's thread for a device layer under test: the layer posts tasks from its worker, and the test
// runs them on its own thread while it waits for something to happen.
class HostQueue {
 public:
  Dispatcher MakeDispatcher();
  // Runs posted tasks until done() holds (checked after each task and at the start) or the time is up.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace tessaly::test

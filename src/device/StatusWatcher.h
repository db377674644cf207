#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/PcscError.h"
#include "device/PcscService.h"

namespace tessaly {

class Worker;

// What the watcher reports, from the worker's thread; the device layer hands every report to the host's
// thread as a value.
struct WatcherReports {
  // The readers' states after a change: every reader the service lists, with its event-state word and ATR.
  std::function<void(std::vector<ReaderState> readers)> Changed;
  // The wait failed for a reason other than a cancel: the service is taken to be gone. The watch ends.
  std::function<void(const EPcscError& failure)> ServiceLost;
  // The pause after a loss is over: time to try the service again.
  std::function<void()> RetryDue;
};

// Waits for the service's changes on the worker that owns the service's listing context: blocked in the
// status-change call while watching, on a condition variable while pausing before a retry; it never polls.
class StatusWatcher {
 public:
  StatusWatcher(std::shared_ptr<PcscService> service, WatcherReports reports,
                std::chrono::milliseconds retryPause = std::chrono::seconds(1));

  // Watches from these known states until the service is lost or Stop is called.
  void Watch(Worker& worker, std::vector<ReaderState> known);
  // Reports RetryDue after the pause, unless stopped first.
  void RetryLater(Worker& worker);
  // Ends a watch or pause under way, and any later one at once. Returns at once: the wait is cancelled from
  // a thread of its own, since a cancel itself can hang on a service that does not answer.
  void Stop();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace tessaly

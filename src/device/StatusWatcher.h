#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/PcscService.h"

namespace tessaly {

// What the watcher reports, each from its own thread; the device layer hands every report to the host's
// thread as a value.
struct WatcherReports {
  // The readers' states after a change: every reader the service lists, with its event-state word and ATR.
  std::function<void(std::vector<ReaderState> readers)> Changed;
  // The wait failed for a reason other than a cancel: the service is taken to be gone. The watcher parks.
  std::function<void(std::uint32_t code)> ServiceLost;
  // The pause after a loss is over: time to try the service again. The watcher parks.
  std::function<void()> RetryDue;
};

// The worker thread of the device layer. It owns only its wait: blocked in the status-change call while
// watching, blocked on a condition variable while parked or pausing before a retry; it never polls.
class StatusWatcher {
 public:
  StatusWatcher(PcscService& service, WatcherReports reports,
                std::chrono::milliseconds retryPause = std::chrono::seconds(1));
  ~StatusWatcher();
  StatusWatcher(const StatusWatcher&) = delete;
  StatusWatcher& operator=(const StatusWatcher&) = delete;

  // From the host's thread while the watcher is parked: watch for changes from these known states.
  void Watch(std::vector<ReaderState> known);
  // From the host's thread while the watcher is parked: report RetryDue after the pause.
  void RetryLater();
  // Cancels the wait and joins the thread; nothing is reported afterwards.
  void Stop();

 private:
  enum class Mode { Parked, Watching, Pausing, Stopping };

  void Run();
  // One status-change call and what follows from it; false when the service was lost.
  bool WatchOnce();
  void Relist();
  bool AnyReaderUnaware() const;
  std::vector<ReaderState> Readers() const;

  PcscService& service_;
  WatcherReports reports_;
  std::chrono::milliseconds retryPause_;
  std::mutex mutex_;
  std::condition_variable wake_;
  Mode mode_ = Mode::Parked;
  bool exited_ = false;
  // The plug-and-play reader first, then every listed reader; touched only by the worker while watching.
  std::vector<ReaderState> states_;
  std::thread thread_;
};

}  // namespace tessaly

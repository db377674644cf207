#include "device/StatusWatcher.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "device/PcscError.h"
#include "device/Worker.h"

namespace tessaly {

struct StatusWatcher::Shared {
  std::shared_ptr<PcscService> Service;
  WatcherReports Reports;
  std::chrono::milliseconds RetryPause;
  std::mutex Mutex;
  std::condition_variable Wake;
  bool Stopping = false;
  bool Watching = false;

  void WatchLoop(std::vector<ReaderState> known);
  // One status-change call and what follows from it; false when the service was lost.
  bool WatchOnce(std::vector<ReaderState>& states);
  void Pause();
  void CancelUntilLeft();
};

namespace {

// The plug-and-play reader stands first, then every listed reader.
std::vector<ReaderState> Readers(const std::vector<ReaderState>& states) {
  return std::vector<ReaderState>(states.begin() + 1, states.end());
}

bool AnyReaderUnaware(const std::vector<ReaderState>& states) {
  return std::any_of(states.begin() + 1, states.end(),
                     [](const ReaderState& state) { return state.CurrentState == kStateUnaware; });
}

// The listed readers, with the known state of those still known; new ones start unaware.
void Relist(PcscService& service, std::vector<ReaderState>& states) {
  const std::vector<std::string> names = service.ListReaders();
  std::vector<ReaderState> relisted{states.front()};
  for (const std::string& name : names) {
    const auto known = std::find_if(states.begin() + 1, states.end(),
                                    [&](const ReaderState& state) { return state.Name == name; });
    const bool stillKnown = known != states.end() && (known->CurrentState & kStateUnknown) == 0;
    relisted.push_back(stillKnown ? *known : ReaderState{name, kStateUnaware, 0, {}});
  }
  states = std::move(relisted);
}

}  // namespace

void StatusWatcher::Shared::WatchLoop(std::vector<ReaderState> known) {
  {
    std::lock_guard lock(Mutex);
    if (Stopping) return;
    Watching = true;
  }
  std::vector<ReaderState> states{ReaderState{kPnpNotificationReader, kStateUnaware, 0, {}}};
  for (ReaderState& state : known) states.push_back(std::move(state));
  while (true) {
    {
      std::lock_guard lock(Mutex);
      if (Stopping) break;
    }
    if (!WatchOnce(states)) break;
  }
  std::lock_guard lock(Mutex);
  Watching = false;
  Wake.notify_all();
}

bool StatusWatcher::Shared::WatchOnce(std::vector<ReaderState>& states) {
  const std::vector<ReaderState> before = Readers(states);
  const auto reportChanges = [&] {
    // A reader just listed is reported once its state is known: the next call returns at once with it.
    if (AnyReaderUnaware(states)) return;
    std::vector<ReaderState> after = Readers(states);
    const auto sameReader = [](const ReaderState& a, const ReaderState& b) {
      return a.Name == b.Name && a.CurrentState == b.CurrentState && a.Atr == b.Atr;
    };
    if (!std::equal(before.begin(), before.end(), after.begin(), after.end(), sameReader)) {
      Reports.Changed(std::move(after));
    }
  };
  try {
    try {
      Service->GetStatusChange(states, kInfiniteWait);
    } catch (const EPcscError& failure) {
      // A reader went between the listing and the wait: the list is taken again and compared.
      if (failure.Code() != kScardUnknownReader) throw;
      Relist(*Service, states);
      reportChanges();
      return true;
    }
    bool relist = false;
    for (ReaderState& state : states) {
      state.CurrentState = state.EventState & ~kStateChanged;
      if ((state.EventState & (kStateUnknown | kStateUnavailable)) != 0) relist = true;
    }
    if ((states.front().EventState & kStateChanged) != 0 || relist) Relist(*Service, states);
    reportChanges();
    return true;
  } catch (const EPcscError& failure) {
    if (failure.Code() == kScardCancelled) return true;
    Reports.ServiceLost(failure);
    return false;
  }
}

void StatusWatcher::Shared::Pause() {
  std::unique_lock lock(Mutex);
  if (Wake.wait_for(lock, RetryPause, [this] { return Stopping; })) return;
  lock.unlock();
  Reports.RetryDue();
}

void StatusWatcher::Shared::CancelUntilLeft() {
  // A cancel reaches only a wait already begun, so it is repeated until the watch has left: it may be on
  // its way into the call. A cancel that fails (the service is gone) has no one left to tell.
  std::unique_lock lock(Mutex);
  while (Watching) {
    lock.unlock();
    try {
      Service->Cancel();
    } catch (const EPcscError&) {
    }
    lock.lock();
    Wake.wait_for(lock, std::chrono::milliseconds(20), [this] { return !Watching; });
  }
}

StatusWatcher::StatusWatcher(std::shared_ptr<PcscService> service, WatcherReports reports,
                             std::chrono::milliseconds retryPause)
    : shared_(std::make_shared<Shared>()) {
  shared_->Service = std::move(service);
  shared_->Reports = std::move(reports);
  shared_->RetryPause = retryPause;
}

void StatusWatcher::Watch(Worker& worker, std::vector<ReaderState> known) {
  worker.Post(
      [shared = shared_, known = std::move(known)]() mutable { shared->WatchLoop(std::move(known)); });
}

void StatusWatcher::RetryLater(Worker& worker) {
  worker.Post([shared = shared_] { shared->Pause(); });
}

void StatusWatcher::Stop() {
  std::lock_guard lock(shared_->Mutex);
  shared_->Stopping = true;
  shared_->Wake.notify_all();
  if (!shared_->Watching) return;
  // Let go at once: a cancel may hang for as long as the service does.
  Worker canceller;
  canceller.Post([shared = shared_] { shared->CancelUntilLeft(); });
}

}  // namespace tessaly

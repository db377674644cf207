#include "device/StatusWatcher.h"

#include <algorithm>

#include "device/PcscError.h"

namespace tessaly {

StatusWatcher::StatusWatcher(PcscService& service, WatcherReports reports,
                             std::chrono::milliseconds retryPause)
    : service_(service), reports_(std::move(reports)), retryPause_(retryPause), thread_([this] { Run(); }) {}

StatusWatcher::~StatusWatcher() {
  Stop();
}

void StatusWatcher::Watch(std::vector<ReaderState> known) {
  std::lock_guard lock(mutex_);
  states_.clear();
  states_.push_back(ReaderState{kPnpNotificationReader, kStateUnaware, 0, {}});
  for (ReaderState& state : known) states_.push_back(std::move(state));
  mode_ = Mode::Watching;
  wake_.notify_all();
}

void StatusWatcher::RetryLater() {
  std::lock_guard lock(mutex_);
  mode_ = Mode::Pausing;
  wake_.notify_all();
}

void StatusWatcher::Stop() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return;
  mode_ = Mode::Stopping;
  wake_.notify_all();
  // A cancel reaches only a wait already begun, so it is repeated until the worker has left: the worker may
  // be on its way into the call. A cancel that fails (the service is gone) has no one left to tell.
  while (!exited_) {
    lock.unlock();
    try {
      service_.Cancel();
    } catch (const EPcscError&) {
    }
    lock.lock();
    wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return exited_; });
  }
  lock.unlock();
  thread_.join();
}

void StatusWatcher::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return mode_ != Mode::Parked; });
    if (mode_ == Mode::Stopping) break;
    if (mode_ == Mode::Pausing) {
      if (wake_.wait_for(lock, retryPause_, [this] { return mode_ == Mode::Stopping; })) break;
      mode_ = Mode::Parked;
      lock.unlock();
      reports_.RetryDue();
      lock.lock();
      continue;
    }
    lock.unlock();
    const bool serviceAlive = WatchOnce();
    lock.lock();
    if (!serviceAlive && mode_ == Mode::Watching) mode_ = Mode::Parked;
  }
  exited_ = true;
  wake_.notify_all();
}

bool StatusWatcher::WatchOnce() {
  try {
    const std::vector<ReaderState> before = Readers();
    service_.GetStatusChange(states_, kInfiniteWait);
    bool relist = false;
    for (ReaderState& state : states_) {
      state.CurrentState = state.EventState & ~kStateChanged;
      if ((state.EventState & (kStateUnknown | kStateUnavailable)) != 0) relist = true;
    }
    if ((states_.front().EventState & kStateChanged) != 0 || relist) Relist();
    // A reader just listed is reported once its state is known: the next call returns at once with it.
    if (AnyReaderUnaware()) return true;
    std::vector<ReaderState> after = Readers();
    const auto sameReader = [](const ReaderState& a, const ReaderState& b) {
      return a.Name == b.Name && a.CurrentState == b.CurrentState && a.Atr == b.Atr;
    };
    if (!std::equal(before.begin(), before.end(), after.begin(), after.end(), sameReader)) {
      reports_.Changed(std::move(after));
    }
    return true;
  } catch (const EPcscError& failure) {
    if (failure.Code() == kScardCancelled) return true;
    if (failure.Code() == kScardUnknownReader) {
      // A reader went between the listing and the wait.
      try {
        Relist();
        return true;
      } catch (const EPcscError& relistFailure) {
        reports_.ServiceLost(relistFailure.Code());
        return false;
      }
    }
    reports_.ServiceLost(failure.Code());
    return false;
  }
}

void StatusWatcher::Relist() {
  const std::vector<std::string> names = service_.ListReaders();
  std::vector<ReaderState> states{states_.front()};
  for (const std::string& name : names) {
    const auto known = std::find_if(states_.begin() + 1, states_.end(),
                                    [&](const ReaderState& state) { return state.Name == name; });
    const bool stillKnown = known != states_.end() && (known->CurrentState & kStateUnknown) == 0;
    states.push_back(stillKnown ? *known : ReaderState{name, kStateUnaware, 0, {}});
  }
  states_ = std::move(states);
}

bool StatusWatcher::AnyReaderUnaware() const {
  return std::any_of(states_.begin() + 1, states_.end(),
                     [](const ReaderState& state) { return state.CurrentState == kStateUnaware; });
}

std::vector<ReaderState> StatusWatcher::Readers() const {
  return std::vector<ReaderState>(states_.begin() + 1, states_.end());
}

}  // namespace tessaly

#pragma once

#include <deque>
#include <exception>
#include <functional>

namespace tessaly {

// The device layer's work on the host's thread, one piece at a time.
//
// A task runs to its end before the next one begins, also when the host lets pending messages through in
// the middle of it (the monitor's updates do): whatever arrives then waits its turn, so nothing in the
// device layer re-enters itself. A task may await calls that run on workers; while any awaited call is
// open, new tasks wait, and each call's continuation runs when its result is in. A piece that fails is
// handed to the failure handler, and the mailbox goes on with the next.
class SerialMailbox {
 public:
  using Failure = std::function<void(std::exception_ptr failure)>;

  explicit SerialMailbox(Failure onFailure) : onFailure_(std::move(onFailure)) {}

  // A new task: runs once nothing runs and no call is awaited.
  void Post(std::function<void()> task);
  // A new task that runs before every task waiting now: the next stage of the task under way, once the
  // calls it awaits have ended.
  void PostNext(std::function<void()> task);
  // An awaited call begins.
  void Await() { ++awaited_; }
  // An awaited call has ended: its continuation runs once nothing runs, before any waiting task.
  void Resume(std::function<void()> continuation);

  bool Idle() const { return !running_ && awaited_ == 0 && tasks_.empty() && continuations_.empty(); }
  // Drops everything that waits and forgets the awaited calls; what runs now ends as it is.
  void Clear();

 private:
  void Drain();
  void RunPiece(const std::function<void()>& piece);

  Failure onFailure_;
  std::deque<std::function<void()>> tasks_;
  std::deque<std::function<void()>> continuations_;
  int awaited_ = 0;
  bool running_ = false;
};

}  // namespace tessaly

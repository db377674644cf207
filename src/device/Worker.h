#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tessaly {

// A thread that runs posted jobs one after the other, in the order they were posted.
//
// Its queue lives in state shared with the thread, so that a worker whose job is stuck in a call that
// never returns (a card that does not answer, a frozen smart-card service) can be let go: the thread ends
// on its own once the call returns, and until then touches nothing but the shared state and what its jobs
// hold by value. Jobs must therefore own what they use (shared pointers, copies), never borrow from their
// poster.
class Worker {
 public:
  using Clock = std::chrono::steady_clock;

  Worker();
  // Lets the thread go without waiting: the jobs already posted still run.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Post(std::function<void()> job);
  // Whether a job runs or waits to run.
  bool Busy() const;
  // Takes no further jobs; the posted ones run, then the thread ends. Waits until then, or until the
  // deadline has passed, and returns whether the thread ended; a thread still running is let go.
  bool Finish(Clock::time_point deadline);

  // Threads let go that have not ended yet, in the whole process.
  static int LeftBehind();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace tessaly

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "device/HostThread.h"
#include "device/PcscError.h"
#include "device/SerialMailbox.h"
#include "device/Worker.h"

namespace tessaly {

// How an awaited call ended: with its result, with the PC/SC failure it raised, or given up (its deadline
// passed, or the host gave it up first).
template <typename Result>
struct CallOutcome {
  std::optional<Result> Value;
  std::optional<EPcscError> Failure;
  bool GivenUp = false;
};

// Calls made on workers whose results the device layer awaits on the host's thread. Each call has a
// deadline; a call still running then is given up: its continuation runs at once with GivenUp set, and when
// the call does end, its result is dropped (after its late clean-up, on the worker: a card connected too
// late is disconnected) and the host hears only that it ended. One host timer at a time watches the
// deadlines, so that a long session of quick calls leaves no timers behind.
class AwaitedCalls {
 public:
  using Id = std::uint64_t;
  using Clock = std::chrono::steady_clock;

  AwaitedCalls(SerialMailbox& mailbox, std::chrono::milliseconds deadline)
      : mailbox_(mailbox), deadline_(deadline) {}

  // Forgets every call (their results are dropped when they come) and reaches the host through gate from
  // now on.
  void Reset(std::shared_ptr<HostGate> gate) {
    calls_.clear();
    armedFor_.reset();
    gate_ = std::move(gate);
  }

  void SetDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }
  std::chrono::milliseconds Deadline() const { return deadline_; }

  // Runs call on the worker and then, with its outcome, as a continuation in the mailbox. When a call given
  // up ends after all, lateCleanUp runs on the worker with its result and lateEnd as a task in the mailbox.
  template <typename Result>
  Id Start(Worker& worker, std::function<Result()> call, std::function<void(CallOutcome<Result>)> then,
           std::function<void(Result&)> lateCleanUp = {}, std::function<void()> lateEnd = {}) {
    auto ticket = std::make_shared<Ticket>();
    const Id id = Register(ticket, [then] { then(CallOutcome<Result>{std::nullopt, std::nullopt, true}); });
    worker.Post([this, gate = gate_, id, ticket, call = std::move(call), then = std::move(then),
                 lateCleanUp = std::move(lateCleanUp), lateEnd = std::move(lateEnd)]() mutable {
      CallOutcome<Result> outcome;
      try {
        outcome.Value = call();
      } catch (const EPcscError& failure) {
        outcome.Failure = failure;
      }
      if (ticket->End()) {
        gate->Post([this, id, then = std::move(then), outcome = std::move(outcome)]() mutable {
          Ended(id, [then = std::move(then), outcome = std::move(outcome)] { then(outcome); });
        });
        return;
      }
      if (outcome.Value && lateCleanUp) lateCleanUp(*outcome.Value);
      if (lateEnd) gate->Post([this, lateEnd = std::move(lateEnd)] { mailbox_.Post(lateEnd); });
    });
    return id;
  }

  // Gives the call up now, as its deadline would; nothing when it has ended already.
  void GiveUp(Id id);

 private:
  // Where the worker and the host agree on who handles the call's end: whichever comes first.
  class Ticket {
   public:
    // From the worker: whether the host still awaits the result.
    bool End();
    // From the host: whether the call was still running and is now given up.
    bool GiveUp();

   private:
    std::mutex mutex_;
    bool ended_ = false;
    bool givenUp_ = false;
  };
  struct Call {
    std::shared_ptr<Ticket> CallTicket;
    std::function<void()> OnGiveUp;
    Clock::time_point Due;
  };

  Id Register(std::shared_ptr<Ticket> ticket, std::function<void()> onGiveUp);
  void Ended(Id id, std::function<void()> continuation);
  // Sets the host's timer for the deadline unless one is set for an earlier time.
  void Arm(Clock::time_point due);
  // Gives up the calls whose deadline has passed, and sets the timer for the next.
  void Expire();

  SerialMailbox& mailbox_;
  std::shared_ptr<HostGate> gate_;
  std::chrono::milliseconds deadline_;
  std::map<Id, Call> calls_;
  Id lastId_ = 0;
  std::optional<Clock::time_point> armedFor_;
};

}  // namespace tessaly

#include "device/AwaitedCalls.h"

#include <algorithm>
#include <vector>

namespace tessaly {

bool AwaitedCalls::Ticket::End() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  return !givenUp_;
}

bool AwaitedCalls::Ticket::GiveUp() {
  std::lock_guard lock(mutex_);
  if (ended_) return false;
  givenUp_ = true;
  return true;
}

AwaitedCalls::Id AwaitedCalls::Register(std::shared_ptr<Ticket> ticket, std::function<void()> onGiveUp) {
  const Id id = ++lastId_;
  const Clock::time_point due = Clock::now() + deadline_;
  calls_.emplace(id, Call{std::move(ticket), std::move(onGiveUp), due});
  mailbox_.Await();
  Arm(due);
  return id;
}

void AwaitedCalls::Arm(Clock::time_point due) {
  if (armedFor_ && *armedFor_ <= due) return;
  armedFor_ = due;
  const auto delay = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
  gate_->After(std::max(delay, std::chrono::milliseconds(0)), [this, due] {
    // A timer set for a later time than the one armed since has nothing to do.
    if (armedFor_ != due) return;
    armedFor_.reset();
    Expire();
  });
}

void AwaitedCalls::Expire() {
  const Clock::time_point now = Clock::now();
  std::vector<Id> expired;
  std::optional<Clock::time_point> next;
  for (const auto& [id, call] : calls_) {
    if (call.Due <= now) {
      expired.push_back(id);
    } else if (!next || call.Due < *next) {
      next = call.Due;
    }
  }
  for (const Id id : expired) GiveUp(id);
  if (next) Arm(*next);
}

void AwaitedCalls::Ended(Id id, std::function<void()> continuation) {
  // A call forgotten by Clear has nobody waiting for it.
  if (calls_.erase(id) == 0) return;
  mailbox_.Resume(std::move(continuation));
}

void AwaitedCalls::GiveUp(Id id) {
  const auto found = calls_.find(id);
  // A call that has ended has its result on the way to the host.
  if (found == calls_.end() || !found->second.CallTicket->GiveUp()) return;
  std::function<void()> onGiveUp = std::move(found->second.OnGiveUp);
  calls_.erase(found);
  mailbox_.Resume(std::move(onGiveUp));
}

}  // namespace tessaly

#include "device/AwaitedCalls.h"

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
  calls_.emplace(id, Call{std::move(ticket), std::move(onGiveUp)});
  mailbox_.Await();
  gate_->After(deadline_, [this, id] { GiveUp(id); });
  return id;
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

#include "device/SerialMailbox.h"

namespace tessaly {

void SerialMailbox::Post(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  Drain();
}

void SerialMailbox::PostNext(std::function<void()> task) {
  tasks_.push_front(std::move(task));
  Drain();
}

void SerialMailbox::Resume(std::function<void()> continuation) {
  if (awaited_ > 0) --awaited_;
  continuations_.push_back(std::move(continuation));
  Drain();
}

void SerialMailbox::Clear() {
  tasks_.clear();
  continuations_.clear();
  awaited_ = 0;
}

void SerialMailbox::Drain() {
  // A piece that lets messages through may bring more pieces: they wait for this loop.
  if (running_) return;
  while (true) {
    std::function<void()> piece;
    if (!continuations_.empty()) {
      piece = std::move(continuations_.front());
      continuations_.pop_front();
    } else if (awaited_ == 0 && !tasks_.empty()) {
      piece = std::move(tasks_.front());
      tasks_.pop_front();
    } else {
      return;
    }
    RunPiece(piece);
  }
}

void SerialMailbox::RunPiece(const std::function<void()>& piece) {
  running_ = true;
  try {
    piece();
  } catch (...) {
    // A report that fails in turn has nobody left to go to.
    try {
      onFailure_(std::current_exception());
    } catch (...) {
    }
  }
  running_ = false;
}

}  // namespace tessaly

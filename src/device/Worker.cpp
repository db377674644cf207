#include "device/Worker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tessaly {
namespace {

std::atomic<int> leftBehind{0};

}  // namespace

struct Worker::Shared {
  std::mutex Mutex;
  std::condition_variable Wake;
  std::deque<std::function<void()>> Jobs;
  bool Running = false;
  bool Closing = false;
  bool Ended = false;
  bool LetGo = false;
  std::thread Thread;

  void Run() {
    std::unique_lock lock(Mutex);
    while (true) {
      Wake.wait(lock, [this] { return !Jobs.empty() || Closing; });
      if (Jobs.empty()) break;
      std::function<void()> job = std::move(Jobs.front());
      Jobs.pop_front();
      Running = true;
      lock.unlock();
      // Jobs report their own failures to the host; one that escapes has nobody left to hear it.
      try {
        job();
      } catch (...) {
      }
      job = nullptr;
      lock.lock();
      Running = false;
    }
    Ended = true;
    if (LetGo) --leftBehind;
    Wake.notify_all();
  }
};

Worker::Worker() : shared_(std::make_shared<Shared>()) {
  // The thread holds the shared state itself, so that it outlives this object when let go.
  shared_->Thread = std::thread([shared = shared_] { shared->Run(); });
}

Worker::~Worker() {
  Finish(Clock::time_point::min());
}

void Worker::Post(std::function<void()> job) {
  std::lock_guard lock(shared_->Mutex);
  if (shared_->Closing) return;
  shared_->Jobs.push_back(std::move(job));
  shared_->Wake.notify_all();
}

bool Worker::Busy() const {
  std::lock_guard lock(shared_->Mutex);
  return shared_->Running || !shared_->Jobs.empty();
}

bool Worker::Finish(Clock::time_point deadline) {
  std::unique_lock lock(shared_->Mutex);
  if (!shared_->Thread.joinable()) return shared_->Ended;
  shared_->Closing = true;
  shared_->Wake.notify_all();
  // A deadline long past is not handed to the wait: some thread libraries take a time that far back for
  // one far ahead.
  if (deadline > Clock::now()) shared_->Wake.wait_until(lock, deadline, [this] { return shared_->Ended; });
  if (shared_->Ended) {
    lock.unlock();
    shared_->Thread.join();
    return true;
  }
  shared_->LetGo = true;
  ++leftBehind;
  shared_->Thread.detach();
  return false;
}

int Worker::LeftBehind() {
  return leftBehind.load();
}

}  // namespace tessaly

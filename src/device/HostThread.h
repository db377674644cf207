#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace tessaly {

// The host's (GUI) thread as the device layer sees it.
struct HostThread {
  // Hands a task to the host's thread; may be called from any thread.
  std::function<void(std::function<void()>)> Post;
  // Runs a task on the host's thread once the delay has passed; called on the host's thread.
  std::function<void(std::chrono::milliseconds delay, std::function<void()>)> After;
};

// The way from the device layer's threads to the host for one run of the layer. Closing it ends the run:
// nothing passes it afterwards, and tasks that passed before but have not run yet do nothing when they
// run, so that no thread reaches the layer once it has stopped.
class HostGate : public std::enable_shared_from_this<HostGate> {
 public:
  explicit HostGate(HostThread host) : host_(std::move(host)) {}

  // From any thread.
  void Post(std::function<void()> task);
  // On the host's thread.
  void After(std::chrono::milliseconds delay, std::function<void()> task);
  void Close();
  bool Open() const;

 private:
  std::function<void()> Guarded(std::function<void()> task);

  HostThread host_;
  mutable std::mutex mutex_;
  bool open_ = true;
};

}  // namespace tessaly

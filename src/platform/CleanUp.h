#pragma once

#include <exception>

namespace tessaly {

// Which failure reaches the caller when the work and a clean-up step both fail.
enum class FailureKept {
  // The first: it is the cause; a later one is most often its consequence (a listener reading what the
  // failed work left).
  First,
  // The last, as a finally block that raises does. The settings store's operations keep this: the handler
  // of their change event has always had the last word with their callers.
  Last,
};

// The one way to run work with a clean-up: runs the work, then every clean-up step in order, also when the
// work or an earlier step failed; one failure then reaches the caller (see FailureKept), the others are
// dropped. A clean-up must happen whatever the work did: a change event is raised after a write that failed
// part way (listeners must see what did change), a flag set for the work is restored.
template <FailureKept Kept = FailureKept::First, typename Work, typename... CleanUps>
void RunWithCleanUp(Work&& work, CleanUps&&... cleanUps) {
  std::exception_ptr failure;
  const auto attempt = [&failure](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure || Kept == FailureKept::Last) failure = std::current_exception();
    }
  };
  attempt(work);
  (attempt(cleanUps), ...);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tessaly

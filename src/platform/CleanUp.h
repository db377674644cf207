#pragma once

#include <exception>

namespace tessaly {

// The one way to run work with a clean-up: runs the work, then every clean-up step in order, also when the
// work or an earlier step failed; the first failure then reaches the caller, and later ones are dropped.
// A clean-up must happen whatever the work did: a change event is raised after a write that failed part way
// (listeners must see what did change), a flag set for the work is restored. The first failure is the
// cause; a later one is most often its consequence (a listener reading what the failed work left).
template <typename Work, typename... CleanUps>
void RunWithCleanUp(Work&& work, CleanUps&&... cleanUps) {
  std::exception_ptr failure;
  const auto attempt = [&failure](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt(work);
  (attempt(cleanUps), ...);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tessaly

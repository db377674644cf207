#pragma once

#include <exception>

namespace tessaly {

// Runs the work, then every clean-up step in order, also when the work or an earlier step failed; the
// first failure then reaches the caller, and later ones are dropped.
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

#pragma once

#include <stdexcept>

namespace tessaly {

// Base of every failure this system raises; handlers that must swallow "any failure" catch std::exception.
class ETessalyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tessaly

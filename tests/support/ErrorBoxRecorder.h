#pragma once

#include <string>
#include <vector>

#include "platform/ErrorBox.h"

namespace tessaly::test {

// Installs itself as the error-box hook for its lifetime and keeps every text shown.
class ErrorBoxRecorder {
 public:
  ErrorBoxRecorder();
  ~ErrorBoxRecorder();
  ErrorBoxRecorder(const ErrorBoxRecorder&) = delete;
  ErrorBoxRecorder& operator=(const ErrorBoxRecorder&) = delete;

  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
  ErrorBoxHook previous_;
};

}  // namespace tessaly::test

#include "ErrorBoxRecorder.h"

namespace tessaly::test {

ErrorBoxRecorder::ErrorBoxRecorder()
    : previous_(SetErrorBoxHook([this](const std::string& text) { texts_.push_back(text); })) {}

ErrorBoxRecorder::~ErrorBoxRecorder() {
  SetErrorBoxHook(std::move(previous_));
}

}  // namespace tessaly::test

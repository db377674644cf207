#include "platform/ErrorBox.h"

#include <iostream>
#include <utility>

namespace tessaly {
namespace {

void WriteToStderr(const std::string& text) {
  std::cerr << text << std::endl;
}

ErrorBoxHook& CurrentHook() {
  static ErrorBoxHook hook = WriteToStderr;
  return hook;
}

}  // namespace

ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook) {
  if (!hook) hook = WriteToStderr;
  return std::exchange(CurrentHook(), std::move(hook));
}

void ShowErrorBox(const std::string& text) {
  // Copy first: the hook may replace itself while it runs.
  const ErrorBoxHook hook = CurrentHook();
  hook(text);
}

}  // namespace tessaly

#pragma once

#include <functional>
#include <string>

namespace tessaly {

// Shows an error box (error icon, one OK button) with the given text and returns once it is closed.
using ErrorBoxHook = std::function<void(const std::string& text)>;

// Replaces the process-wide hook and returns the previous one; an empty hook restores the default,
// which writes the text to stderr (there is no GUI below the application).
ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook);

void ShowErrorBox(const std::string& text);

}  // namespace tessaly

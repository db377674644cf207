#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tessaly {

// The title the application carries from the toolkit's initialisation until the main window sets its own.
inline constexpr char kApplicationTitle[] = "Tessaly Easy v1.3 Control Center";

// Runs the program from the construction of the kernel to its release: start-up synchronisation, main
// window with its pages, message loop. A failure that escapes is shown in one error box. The main window
// shows startPage first (one of PageNames(); empty for the first page). With a screenshot file, the shown
// main window is saved there as a PNG image and closed. Returns the exit status: 0 after a normal close,
// 1 after an error box.
int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile = std::nullopt,
                     const std::string& startPage = {});

}  // namespace tessaly

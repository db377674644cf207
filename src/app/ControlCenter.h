#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "platform/ProductInfo.h"

namespace tessaly {

// The title the application carries from the toolkit's initialisation until the main window sets its own.
inline constexpr auto& kApplicationTitle = kControlCenterTitle;

// Runs the program from the construction of the kernel to its release: start-up synchronisation, main
// window with its pages and the device layer driving the connection from the given readers, message loop. A
// failure that escapes is shown in one error box. The main window shows startPage first (one of PageNames();
// empty for the first page). With a screenshot file, the shown main window is saved there as a PNG image and
// closed once the device layer has settled. Returns the exit status: 0 after a normal close, 1 after an error
// box. Without a choice the readers are the virtual one's, which touches no device.
int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile = std::nullopt,
                     ReaderSource readers = ReaderSource::Virtual, const std::string& startPage = {});

}  // namespace tessaly

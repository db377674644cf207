#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "platform/ProductInfo.h"

namespace tessaly {

class TKernelObject;

// The title the application carries from the toolkit's initialisation until the main window sets its own.
inline constexpr auto& kApplicationTitle = kControlCenterTitle;

// What a run of the Control Center is asked to do besides showing its window.
struct ControlCenterOptions {
  // The shown main window is saved there as a PNG image and closed once the device layer has settled (and
  // a script has run).
  std::optional<std::filesystem::path> ScreenshotFile;
  // Without a choice the readers are the virtual one's, which touches no device.
  ReaderSource Readers = ReaderSource::Virtual;
  // One of PageNames(); empty for the first page.
  std::string StartPage;
  // A script the Exchange page runs once the first card is ready.
  std::optional<std::filesystem::path> ScriptFile;
  // Every exchange of the session is written there as it happens.
  std::optional<std::filesystem::path> TranscriptFile;
  // The kept log records are written there when the window has closed, in the format its suffix names.
  std::optional<std::filesystem::path> LogFile;
};

// Runs the kernel's Start, then has the kernel take both stored log preferences through its own handlers,
// so that they hold from the first record on instead of from their first change.
void StartKernel(TKernelObject& kernel);

// Runs the program from the construction of the kernel to its release: start-up synchronisation, main
// window with its pages and the device layer driving the connection from the chosen readers, message loop.
// A failure that escapes is shown in one error box, as is a screenshot or a log file that could not be
// written. Returns the exit status: 0 after a normal close, 1 after an error box.
int RunControlCenter(const ControlCenterOptions& options = {});

}  // namespace tessaly

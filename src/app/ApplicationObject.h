#pragma once

#include <string>

#include "platform/TessalyError.h"

class QApplication;

namespace tessaly {

// Raised when the application object is needed but there is no display to show windows on.
class ENoDisplay : public ETessalyError {
 public:
  ENoDisplay();
};

// Whether Qt can be started without aborting: a platform was chosen (QT_QPA_PLATFORM) or, on X11 and
// Wayland systems, DISPLAY or WAYLAND_DISPLAY names a display.
bool DisplayAvailable();

// The process's one QApplication, created on first use with the program name given here. It is created
// on demand because an error box may be needed before the program entry initialises the toolkit (a working
// folder that cannot be created during the start-up synchronisation); the entry then initialises this same
// object. Raises ENoDisplay when DisplayAvailable() is false.
void SetApplicationProgramName(std::string programName);
QApplication& InitialiseApplication();
bool ApplicationExists();
// True on platforms whose windows nobody can see, such as "offscreen".
bool ApplicationIsHeadless();
// Destroys the application object, if there is one; windows must be gone by then.
void ReleaseApplication();

}  // namespace tessaly

#pragma once

#include <string>

namespace tessaly {

// Shows the text alone in a QMessageBox with the critical icon and a single OK button; returns once it is
// closed. Needs the application object.
void ShowQtErrorBox(const std::string& text);

// Makes every error box of the process a Qt box, creating the application object when a box is needed
// before the program entry initialises it. Where no box can be seen (no display, or a headless platform
// such as "offscreen") the text goes to stderr instead, so that no box is lost and nothing waits for a
// click that cannot come.
void InstallQtErrorBox();

}  // namespace tessaly

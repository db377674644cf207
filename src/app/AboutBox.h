#pragma once

#include <QString>

class QWidget;

namespace tessaly {

// What the About box says: the program's name and version, the Qt and PC/SC libraries, the list of known
// cards in use, the registry hive in use and the licence.
QString AboutText();

// Shows the About box, modal to parent's window, without waiting for it to be closed.
void ShowAboutBox(QWidget& parent);

}  // namespace tessaly

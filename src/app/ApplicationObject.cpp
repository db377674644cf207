#include "app/ApplicationObject.h"

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

struct ApplicationHolder {
  std::string ProgramName = "tessaly-control-center";
  // QApplication keeps references to both for its whole life.
  int ArgumentCount = 1;
  char* Arguments[2] = {nullptr, nullptr};
  std::unique_ptr<QApplication> Application;
};

ApplicationHolder& Holder() {
  static ApplicationHolder holder;
  return holder;
}

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

ENoDisplay::ENoDisplay()
    : ETessalyError(
          "No display available (DISPLAY and WAYLAND_DISPLAY are unset): run the Control Center under "
          "xvfb-run, or headless with QT_QPA_PLATFORM=offscreen.") {}

bool DisplayAvailable() {
#if defined(_WIN32) || defined(__APPLE__)
  return true;
#else
  return EnvironmentSet("QT_QPA_PLATFORM") || EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY");
#endif
}

void SetApplicationProgramName(std::string programName) {
  Holder().ProgramName = std::move(programName);
}

QApplication& InitialiseApplication() {
  ApplicationHolder& holder = Holder();
  if (!holder.Application) {
    if (!DisplayAvailable()) throw ENoDisplay();
    holder.Arguments[0] = holder.ProgramName.data();
    holder.ArgumentCount = 1;
    holder.Application = std::make_unique<QApplication>(holder.ArgumentCount, holder.Arguments);
    // Lets the desktop match the windows to the installed desktop entry and show its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntryId));
  }
  return *holder.Application;
}

bool ApplicationExists() {
  return Holder().Application != nullptr;
}

bool ApplicationIsHeadless() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void ReleaseApplication() {
  Holder().Application.reset();
}

}  // namespace tessaly

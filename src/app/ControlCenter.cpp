#include "app/ControlCenter.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <memory>

#include "app/ApplicationObject.h"
#include "app/CC_Main.h"
#include "kernel/KernelObject.h"
#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"

namespace tessaly {
namespace {

// Once the loop runs, saves the client area of the shown window and closes the window as the Close button
// would. Reports through saved whether the file was written.
void ScheduleScreenshot(TMainForm& mainForm, const std::filesystem::path& file, bool& saved) {
  QTimer::singleShot(0, &mainForm, [&mainForm, file, &saved] {
    const QPixmap image = mainForm.grab(mainForm.ClientRect());
    saved = image.save(QString::fromStdU16String(file.u16string()), "PNG");
    mainForm.close();
  });
}

// Returns the status the message loop ended with.
int RunMainWindow(const std::optional<std::filesystem::path>& screenshotFile) {
  InitialiseApplication();
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  TMainForm mainForm;
  mainForm.show();
  bool screenshotSaved = false;
  if (screenshotFile) ScheduleScreenshot(mainForm, *screenshotFile, screenshotSaved);
  const int status = QApplication::exec();
  if (screenshotFile && !screenshotSaved) {
    throw ETessalyError("Cannot save the screenshot to " + screenshotFile->string());
  }
  return status;
}

}  // namespace

int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile) {
  // The kernel is released whatever happened before.
  struct KernelRelease {
    ~KernelRelease() { Kernel.reset(); }
  } kernelRelease;
  int status = 1;
  try {
    const std::uint32_t ownerHandle = 0;
    Kernel = std::make_unique<TKernelObject>(ownerHandle);
    Kernel->Start();
    status = RunMainWindow(screenshotFile);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
  return status;
}

}  // namespace tessaly

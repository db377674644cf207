#include "app/ControlCenter.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QPixmap>
#include <QTimer>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "app/ApplicationObject.h"
#include "app/CC_Main.h"
#include "kernel/KernelObject.h"
#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"

namespace tessaly {
namespace {

// The image is encoded in memory and written here, so that every step of the write is checked: a file
// written through its own buffer can fail only when it is closed, which the image writer does not report.
// Gives the reason the file could not be written, or nothing.
std::optional<std::string> SavePng(const QPixmap& image, const std::filesystem::path& file) {
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return "the image cannot be encoded";
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return std::strerror(errno);
  out.write(png.constData(), png.size());
  out.flush();
  const int writeError = out ? 0 : errno;
  out.close();
  if (writeError != 0 || !out) return std::strerror(writeError != 0 ? writeError : errno);
  std::error_code error;
  if (std::filesystem::is_regular_file(file, error) &&
      std::filesystem::file_size(file, error) != static_cast<std::uintmax_t>(png.size())) {
    return "the file is shorter than the image";
  }
  return std::nullopt;
}

// Once the loop runs, saves the client area of the shown window and closes the window as the Close button
// would. Reports through failure why the file could not be written.
void ScheduleScreenshot(TMainForm& mainForm, const std::filesystem::path& file,
                        std::optional<std::string>& failure) {
  QTimer::singleShot(0, &mainForm, [&mainForm, file, &failure] {
    failure = SavePng(mainForm.grab(mainForm.ClientRect()), file);
    mainForm.close();
  });
}

// Returns the status the message loop ended with.
int RunMainWindow(const std::optional<std::filesystem::path>& screenshotFile) {
  InitialiseApplication();
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  TMainForm mainForm;
  mainForm.show();
  std::optional<std::string> screenshotFailure = "the window was not shown";
  if (screenshotFile) ScheduleScreenshot(mainForm, *screenshotFile, screenshotFailure);
  const int status = QApplication::exec();
  if (screenshotFile && screenshotFailure) {
    throw ETessalyError("Cannot save the screenshot to " + screenshotFile->string() + ": " +
                        *screenshotFailure);
  }
  return status;
}

}  // namespace

int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile) {
  // The kernel is released whatever happened before.
  struct TKernelRelease {
    ~TKernelRelease() { Kernel.reset(); }
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

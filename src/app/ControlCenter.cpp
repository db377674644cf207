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
#include "app/ExchangePage.h"
#include "app/MainWindowPages.h"
#include "app/MonitorPage.h"
#include "device/DeviceLayer.h"
#include "device/PcscError.h"
#include "kernel/KernelObject.h"
#include "platform/CodePage.h"
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

// Posts each task to the Qt event loop; safe from any thread.
Dispatcher QtDispatcher() {
  return [](std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
  };
}

// The service for the chosen readers; auto takes the system's when it answers. The choice is logged.
std::unique_ptr<PcscService> MakeReaderService(ReaderSource source, TKernelObject& kernel) {
  std::string choice = "Readers: the system's smart-card service (PC/SC)";
  std::unique_ptr<PcscService> service;
  if (source == ReaderSource::Auto) {
    service = MakeSystemPcscService();
    try {
      service->EstablishContext();
      service->ReleaseContext();
    } catch (const EPcscError& failure) {
      service = MakeVirtualReaderService();
      choice = std::string("Readers: the virtual reader, as the smart-card service does not answer (") +
               failure.what() + ")";
    }
  } else if (source == ReaderSource::Pcsc) {
    service = MakeSystemPcscService();
  } else {
    service = MakeVirtualReaderService();
    choice = "Readers: the virtual reader";
  }
  kernel.LogEvent(ecMessage, AnsiToWide(kernel.Connection->DisplayName()), AnsiToWide(choice));
  return service;
}

// Returns the status the message loop ended with.
int RunMainWindow(const std::optional<std::filesystem::path>& screenshotFile, ReaderSource readers,
                  const std::string& startPage) {
  InitialiseApplication();
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  TMainForm mainForm;
  MainWindowPages pages(mainForm, *Kernel);
  if (!startPage.empty() && !pages.ShowPage(startPage)) throw ETessalyError("Unknown page " + startPage);
  mainForm.show();
  std::optional<std::string> screenshotFailure = "the window was not shown";
  // Declared after the window and so released before it, and before the kernel.
  std::unique_ptr<DeviceLayer> device;
  if (Kernel->Connection) {
    device = std::make_unique<DeviceLayer>(*Kernel->Connection, MakeReaderService(readers, *Kernel),
                                           QtDispatcher());
  }
  if (device) {
    DeviceLayer& layer = *device;
    pages.Monitor().SetCardCommands({[&layer](int reader) { layer.OpenCard(reader); },
                                     [&layer](int reader) { layer.CloseCard(reader); },
                                     [&layer](int reader) { layer.ResetCard(reader); }});
    pages.Exchange().SetReaderExchange({[&layer](int reader) { return layer.CardOpen(reader); },
                                        [&layer](int reader, std::span<const std::uint8_t> command) {
                                          return layer.Transmit(reader, command);
                                        }});
  }
  if (screenshotFile && device) {
    // The picture shows the window once the card has travelled the whole road.
    device->SetOnSettled([&] { ScheduleScreenshot(mainForm, *screenshotFile, screenshotFailure); });
  } else if (screenshotFile) {
    ScheduleScreenshot(mainForm, *screenshotFile, screenshotFailure);
  }
  // The start sequence waits for the loop: the monitor's updates process pending messages, and handlers
  // queued before the loop must not run inside the window's construction.
  if (device) QTimer::singleShot(0, &mainForm, [&device] { device->Start(); });
  const int status = QApplication::exec();
  if (screenshotFile && screenshotFailure) {
    throw ETessalyError("Cannot save the screenshot to " + screenshotFile->string() + ": " +
                        *screenshotFailure);
  }
  return status;
}

}  // namespace

int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile, ReaderSource readers,
                     const std::string& startPage) {
  // The kernel is released whatever happened before.
  struct KernelRelease {
    ~KernelRelease() { Kernel.reset(); }
  } kernelRelease;
  int status = 1;
  try {
    const std::uint32_t ownerHandle = 0;
    Kernel = std::make_unique<TKernelObject>(ownerHandle);
    Kernel->Start();
    status = RunMainWindow(screenshotFile, readers, startPage);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
  return status;
}

}  // namespace tessaly

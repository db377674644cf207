#include "app/ControlCenter.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <memory>

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

// Once the loop runs, saves the client area of the shown window and closes the window as the Close button
// would. Reports through saved whether the file was written.
void ScheduleScreenshot(TMainForm& mainForm, const std::filesystem::path& file, bool& saved) {
  QTimer::singleShot(0, &mainForm, [&mainForm, file, &saved] {
    const QPixmap image = mainForm.grab(mainForm.ClientRect());
    saved = image.save(QString::fromStdU16String(file.u16string()), "PNG");
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
  bool screenshotSaved = false;
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
    device->SetOnSettled([&] { ScheduleScreenshot(mainForm, *screenshotFile, screenshotSaved); });
  } else if (screenshotFile) {
    ScheduleScreenshot(mainForm, *screenshotFile, screenshotSaved);
  }
  // The start sequence waits for the loop: the monitor's updates process pending messages, and handlers
  // queued before the loop must not run inside the window's construction.
  if (device) QTimer::singleShot(0, &mainForm, [&device] { device->Start(); });
  const int status = QApplication::exec();
  if (screenshotFile && !screenshotSaved) {
    throw ETessalyError("Cannot save the screenshot to " + screenshotFile->string());
  }
  return status;
}

}  // namespace

int RunControlCenter(const std::optional<std::filesystem::path>& screenshotFile, ReaderSource readers,
                     const std::string& startPage) {
  // The kernel is released whatever happened before.
  struct TKernelRelease {
    ~TKernelRelease() { Kernel.reset(); }
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

#include "app/ControlCenter.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QPixmap>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "app/ApplicationObject.h"
#include "app/CC_Main.h"
#include "app/CloseOnSignal.h"
#include "app/EventLogModel.h"
#include "app/EventLogPage.h"
#include "app/ExchangePage.h"
#include "app/MainWindowPages.h"
#include "app/MonitorPage.h"
#include "app/QtHost.h"
#include "app/TranscriptFile.h"
#include "device/ApduScript.h"
#include "device/DeviceLayer.h"
#include "device/PcscError.h"
#include "device/Transcript.h"
#include "device/Worker.h"
#include "kernel/KernelObject.h"
#include "platform/CodePage.h"
#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"
#include "platform/TextFile.h"
#include "templates/_TemplatesObject.h"

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

// How long the choice of readers waits for the system's service to answer: a service that does not
// answer in this time is as good as none.
constexpr std::chrono::milliseconds kServiceProbeBound{2000};

// Why the system's service does not answer, or nothing when it does. The probe runs on a worker of its
// own, so that a frozen service holds the start for the bound at most.
std::optional<std::string> WhyServiceDoesNotAnswer(std::shared_ptr<PcscService> service) {
  auto answer = std::make_shared<std::promise<std::optional<std::string>>>();
  std::future<std::optional<std::string>> answered = answer->get_future();
  Worker probe;
  probe.Post([service, answer] {
    try {
      service->EstablishContext();
      service->ReleaseContext();
      answer->set_value(std::nullopt);
    } catch (const EPcscError& failure) {
      answer->set_value(failure.what());
    }
  });
  if (answered.wait_for(kServiceProbeBound) == std::future_status::timeout) {
    return "it did not answer within " + std::to_string(kServiceProbeBound.count() / 1000) + " s";
  }
  return answered.get();
}

// The service for the chosen readers; auto takes the system's when it answers. The choice is logged.
std::unique_ptr<PcscService> MakeReaderService(ReaderSource source, TKernelObject& kernel) {
  std::string choice = "Readers: the system's smart-card service (PC/SC)";
  std::unique_ptr<PcscService> service;
  if (source == ReaderSource::Auto) {
    std::shared_ptr<PcscService> probed = MakeSystemPcscService();
    if (const auto reason = WhyServiceDoesNotAnswer(probed)) {
      choice = "Readers: the virtual reader, as the smart-card service does not answer (" + *reason + ")";
      source = ReaderSource::Virtual;
    }
  }
  if (source == ReaderSource::Virtual) {
    service = MakeVirtualReaderService();
    if (choice.starts_with("Readers: the system's")) choice = "Readers: the virtual reader";
  } else {
    service = MakeSystemPcscService();
  }
  // A note, not an error: it is made where the kernel makes its main events' records.
  if (kernel.LogsMainEvents()) {
    kernel.LogEvent(ecMessage, AnsiToWide(kernel.Connection->DisplayName()), AnsiToWide(choice));
  }
  return service;
}

const TKeyedTable* StatusWordsOf(int reader) {
  const TTemplatesObject* templates = ReaderTable[static_cast<std::size_t>(reader)].Templates;
  return templates != nullptr ? &templates->StatusWords : nullptr;
}

// Returns the status the message loop ended with.
int RunMainWindow(const ControlCenterOptions& options) {
  InitialiseApplication();
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
  std::optional<std::vector<ApduScriptLine>> script;
  if (options.ScriptFile) {
    try {
      script = ParseApduScript(ReadTextFileLines(options.ScriptFile->string()));
    } catch (const std::exception& failure) {
      throw ETessalyError("Cannot run the script " + options.ScriptFile->string() + ": " + failure.what());
    }
  }
  std::optional<TranscriptFile> transcript;
  if (options.TranscriptFile) transcript.emplace(*options.TranscriptFile);
  TMainForm mainForm;
  MainWindowPages pages(mainForm, *Kernel);
  if (!options.StartPage.empty() && !pages.ShowPage(options.StartPage)) {
    throw ETessalyError("Unknown page " + options.StartPage);
  }
  // The start's monitor updates would each draw the whole window: it is drawn once the readers have settled,
  // or after a moment at the latest.
  mainForm.setUpdatesEnabled(false);
  const auto drawWindow = [&mainForm] { mainForm.setUpdatesEnabled(true); };
  QTimer::singleShot(250, &mainForm, drawWindow);
  mainForm.show();
  const CloseOnSignal closeOnSignal(mainForm);
  // The Exchange page is built at start only for a script or a transcript; otherwise when first shown.
  ExchangePage* exchange = script || transcript ? &pages.Exchange() : nullptr;
  if (transcript) {
    exchange->SetOnExchanged(
        [&transcript](int reader, const std::vector<std::uint8_t>& command, const ExchangeOutcome& outcome) {
          transcript->Write(TranscriptText(command, outcome, StatusWordsOf(reader)));
        });
    exchange->SetOnCardReset([&transcript](int reader, const std::string& failure) {
      transcript->Write(
          ResetTranscriptText(ReaderTable[static_cast<std::size_t>(reader)].CardInfo.ATR, failure));
    });
  }
  std::optional<std::string> screenshotFailure = "the window was not shown";
  bool screenshotTaken = false;
  const auto takeScreenshot = [&] {
    if (!options.ScreenshotFile || screenshotTaken) return;
    screenshotTaken = true;
    ScheduleScreenshot(mainForm, *options.ScreenshotFile, screenshotFailure);
  };
  // Declared after the window and so released before it, and before the kernel.
  std::unique_ptr<DeviceLayer> device;
  if (Kernel->Connection) {
    device = std::make_unique<DeviceLayer>(*Kernel->Connection, MakeReaderService(options.Readers, *Kernel),
                                           QtHostThread());
    pages.ConnectDevice(*device);
    // The picture shows the window once the card has travelled the whole road, and the script has run.
    device->SetOnSettled([&] {
      drawWindow();
      if (exchange && exchange->ScriptWaitsForCard()) exchange->StopWaitingForCard();
      if (!exchange || !exchange->ScriptRunning()) takeScreenshot();
    });
    if (script) {
      exchange->SetOnScriptEnded([&](int) { takeScreenshot(); });
      exchange->RunScriptWhenReady(std::move(*script),
                                   QString::fromStdString(options.ScriptFile->filename().string()));
    }
    // The start sequence waits for the loop: the monitor's updates process pending messages, and handlers
    // queued before the loop must not run inside the window's construction.
    QTimer::singleShot(0, &mainForm, [&device] { device->Start(); });
  } else {
    drawWindow();
    takeScreenshot();
  }
  const int status = QApplication::exec();
  device.reset();
  // Both files are tried; the box names every one that could not be written.
  std::string failures;
  const auto addFailure = [&failures](const std::string& text) {
    failures += (failures.empty() ? "" : "\n") + text;
  };
  if (options.LogFile) {
    try {
      pages.LogModel().SaveKeptRecords(QString::fromStdString(options.LogFile->string()));
    } catch (const ELogFileError& failure) {
      addFailure(failure.what());
    }
  }
  if (options.ScreenshotFile && screenshotFailure) {
    addFailure("Cannot save the screenshot to " + options.ScreenshotFile->string() + ": " +
               *screenshotFailure);
  }
  if (!failures.empty()) throw ETessalyError(failures);
  return status;
}

}  // namespace

void StartKernel(TKernelObject& kernel) {
  kernel.Start();
  kernel.HandleEventLogModeChanged(*kernel.Settings);
  kernel.HandleSeparateHexBytesChanged(*kernel.Settings);
}

int RunControlCenter(const ControlCenterOptions& options) {
  // The kernel is released whatever happened before.
  struct KernelRelease {
    ~KernelRelease() { Kernel.reset(); }
  } kernelRelease;
  int status = 1;
  try {
    const std::uint32_t ownerHandle = 0;
    Kernel = std::make_unique<TKernelObject>(ownerHandle);
    StartKernel(*Kernel);
    status = RunMainWindow(options);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
  return status;
}

}  // namespace tessaly

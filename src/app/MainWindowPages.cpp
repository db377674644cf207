#include "app/MainWindowPages.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/CC_Main.h"
#include "app/CardTypesPage.h"
#include "app/EventLogModel.h"
#include "app/EventLogPage.h"
#include "app/ExchangePage.h"
#include "app/MonitorPage.h"
#include "app/PreferencesPage.h"
#include "device/DeviceLayer.h"
#include "kernel/KernelObject.h"
#include "platform/CodePage.h"
#include "readers/ReaderTable.h"

namespace tessaly {

const std::vector<std::string>& PageNames() {
  static const std::vector<std::string> names = {"monitor", "log", "preferences", "exchange", "cardtypes"};
  return names;
}

MainWindowPages::MainWindowPages(TMainForm& form, TKernelObject& kernel)
    : form_(form), kernel_(kernel), logModel_(new EventLogModel(&form)) {
  // The page control owns the holders, and with them the pages, from here on.
  const std::array<const char*, kPageCount> captions{"Monitor", "Event Log", "Preferences", "Exchange",
                                                     "Card Types"};
  for (int index = 0; index < kPageCount; ++index) {
    QWidget* holder = holders_[static_cast<std::size_t>(index)] = new QWidget;
    (new QVBoxLayout(holder))->setContentsMargins(0, 0, 0, 0);
    form_.PageControl->addTab(holder, QString::fromLatin1(captions[static_cast<std::size_t>(index)]));
  }
  monitor_ = new MonitorPage(kernel);
  Place(kMonitor, monitor_);
  QObject::connect(form_.PageControl, &QTabWidget::currentChanged, form_.PageControl,
                   [this](int index) { Build(index); });
  BindKernelEvents();
}

MainWindowPages::~MainWindowPages() {
  kernel_.OnLog = nullptr;
  kernel_.OnShowMessage = nullptr;
  kernel_.OnHideMessage = nullptr;
  kernel_.OnSettingsChanged = nullptr;
  kernel_.OnDevicesListChanged = nullptr;
  kernel_.OnConnectionDown = nullptr;
  for (TKernelCardEvent* cardEvent : CardEvents()) *cardEvent = nullptr;
}

void MainWindowPages::Place(PageIndex index, QWidget* page) {
  holders_[static_cast<std::size_t>(index)]->layout()->addWidget(page);
}

void MainWindowPages::Build(int index) {
  switch (index) {
    case kLog:
      Log();
      break;
    case kPreferences:
      Preferences();
      break;
    case kExchange:
      Exchange();
      break;
    case kCardTypes:
      CardTypes();
      break;
    default:
      break;
  }
}

EventLogPage& MainWindowPages::Log() {
  if (!log_) {
    log_ = new EventLogPage(*logModel_);
    Place(kLog, log_);
  }
  return *log_;
}

PreferencesPage& MainWindowPages::Preferences() {
  if (!preferences_) {
    preferences_ = new PreferencesPage(kernel_);
    Place(kPreferences, preferences_);
  }
  return *preferences_;
}

ExchangePage& MainWindowPages::Exchange() {
  if (!exchange_) {
    exchange_ = new ExchangePage();
    Place(kExchange, exchange_);
    if (device_) HandDeviceToExchange();
    // Built after the cards came: it takes them as the card events would have given them.
    for (TReaderHead& entry : ReaderTable) {
      if (entry.ReaderInUse != 0) exchange_->CardChanged(entry.ReaderName, entry.CardInfo);
    }
  }
  return *exchange_;
}

CardTypesPage& MainWindowPages::CardTypes() {
  if (!cardTypes_) {
    cardTypes_ = new CardTypesPage(kernel_);
    Place(kCardTypes, cardTypes_);
    // The store raises no event for the default card type; the Preferences page shows it too.
    QObject::connect(cardTypes_, &CardTypesPage::DefaultCardTypeChanged, cardTypes_, [this] {
      if (preferences_) preferences_->Reload();
    });
  }
  return *cardTypes_;
}

std::vector<TKernelCardEvent*> MainWindowPages::CardEvents() {
  return {&kernel_.OnWaitingForCard, &kernel_.OnCardDetected, &kernel_.OnCardInvalid, &kernel_.OnCardReady};
}

void MainWindowPages::BindKernelEvents() {
  kernel_.OnLog = [this](std::int32_t number, std::uint8_t eventCode, const std::u16string& source,
                         const std::u16string& eventName, const std::u16string& details,
                         std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    logModel_->Append({number, eventCode, ms, QString::fromStdU16String(source),
                       QString::fromStdU16String(eventName), QString::fromStdU16String(details)});
  };
  QLabel* message = form_.MessageLabel;
  kernel_.OnShowMessage = [message](const std::string& text) {
    message->setText(QString::fromStdU16String(AnsiToWide(text)));
  };
  kernel_.OnHideMessage = [message] { message->clear(); };
  // Pages not built yet read what they show when they are.
  kernel_.OnSettingsChanged = [this] {
    if (preferences_) preferences_->Reload();
    if (cardTypes_) cardTypes_->Reload();
    // A changed card type may have renamed a reader's card or reloaded its commands.
    if (exchange_) exchange_->RefreshReaders();
  };
  for (TKernelCardEvent* cardEvent : CardEvents()) {
    *cardEvent = [this](const std::string& readerName, TCardInfo& card) {
      monitor_->ShowReader(readerName, card);
      if (exchange_) exchange_->CardChanged(readerName, card);
      if (cardTypes_) cardTypes_->ReadersChanged();
    };
  }
  // A reader that goes, or a service that goes with every reader, raises no card event.
  kernel_.OnDevicesListChanged = [this](TConnection&, std::uint32_t) { ReadersChanged(); };
  kernel_.OnConnectionDown = [this] { ReadersChanged(); };
}

void MainWindowPages::ConnectDevice(DeviceLayer& layer) {
  device_ = &layer;
  monitor_->SetCardCommands({[&layer](int reader) { layer.OpenCard(reader); },
                             [&layer](int reader) { layer.CloseCard(reader); },
                             [&layer](int reader) { layer.ResetCard(reader); }});
  if (exchange_) HandDeviceToExchange();
}

void MainWindowPages::HandDeviceToExchange() {
  DeviceLayer& layer = *device_;
  exchange_->SetReaderExchange(
      {[&layer](int reader) { return layer.CardOpen(reader); },
       [&layer](int reader, std::span<const std::uint8_t> command, ExchangeDone done) {
         layer.Transmit(reader, command, std::move(done));
       },
       [&layer](int reader) { layer.CancelExchange(reader); },
       [&layer](int reader, CardDone done) { layer.ResetCard(reader, std::move(done)); },
       [&layer](int reader, std::int32_t protocol, CardDone done) {
         layer.ReconnectCard(reader, protocol, std::move(done));
       },
       [&layer](int reader, std::int32_t closingMode, CardDone done) {
         layer.DisconnectCard(reader, closingMode, std::move(done));
       }});
}

void MainWindowPages::ReadersChanged() {
  if (exchange_) exchange_->RefreshReaders();
  if (cardTypes_) cardTypes_->ReadersChanged();
}

bool MainWindowPages::ShowPage(const std::string& name) {
  const auto& names = PageNames();
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return false;
  form_.PageControl->setCurrentIndex(static_cast<int>(found - names.begin()));
  return true;
}

}  // namespace tessaly

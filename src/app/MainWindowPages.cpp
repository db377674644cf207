#include "app/MainWindowPages.h"

#include <QLabel>
#include <QTabWidget>
#include <algorithm>
#include <chrono>

#include "app/CC_Main.h"
#include "app/CardTypesPage.h"
#include "app/EventLogPage.h"
#include "app/ExchangePage.h"
#include "app/MonitorPage.h"
#include "app/PreferencesPage.h"
#include "device/DeviceLayer.h"
#include "kernel/KernelObject.h"
#include "platform/CodePage.h"

namespace tessaly {

const std::vector<std::string>& PageNames() {
  static const std::vector<std::string> names = {"monitor", "log", "preferences", "exchange", "cardtypes"};
  return names;
}

MainWindowPages::MainWindowPages(TMainForm& form, TKernelObject& kernel)
    : form_(form),
      kernel_(kernel),
      monitor_(new MonitorPage(kernel)),
      log_(new EventLogPage()),
      preferences_(new PreferencesPage(kernel)),
      exchange_(new ExchangePage()),
      cardTypes_(new CardTypesPage(kernel)) {
  // The page control owns the pages from here on.
  form_.PageControl->addTab(monitor_, QStringLiteral("Monitor"));
  form_.PageControl->addTab(log_, QStringLiteral("Event Log"));
  form_.PageControl->addTab(preferences_, QStringLiteral("Preferences"));
  form_.PageControl->addTab(exchange_, QStringLiteral("Exchange"));
  form_.PageControl->addTab(cardTypes_, QStringLiteral("Card Types"));
  // The store raises no event for the default card type; the Preferences page shows it too.
  QObject::connect(cardTypes_, &CardTypesPage::DefaultCardTypeChanged, preferences_,
                   &PreferencesPage::Reload);
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

std::vector<TKernelCardEvent*> MainWindowPages::CardEvents() {
  return {&kernel_.OnWaitingForCard, &kernel_.OnCardDetected, &kernel_.OnCardInvalid, &kernel_.OnCardReady};
}

void MainWindowPages::BindKernelEvents() {
  kernel_.OnLog = [this](std::int32_t number, std::uint8_t eventCode, const std::u16string& source,
                         const std::u16string& eventName, const std::u16string& details,
                         std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    log_->Model().Append({number, eventCode, ms, QString::fromStdU16String(source),
                          QString::fromStdU16String(eventName), QString::fromStdU16String(details)});
  };
  QLabel* message = form_.MessageLabel;
  kernel_.OnShowMessage = [message](const std::string& text) {
    message->setText(QString::fromStdU16String(AnsiToWide(text)));
  };
  kernel_.OnHideMessage = [message] { message->clear(); };
  kernel_.OnSettingsChanged = [this] {
    preferences_->Reload();
    cardTypes_->Reload();
    // A changed card type may have renamed a reader's card or reloaded its commands.
    exchange_->RefreshReaders();
  };
  for (TKernelCardEvent* cardEvent : CardEvents()) {
    *cardEvent = [this](const std::string& readerName, TCardInfo& card) {
      monitor_->ShowReader(readerName, card);
      exchange_->CardChanged(readerName, card);
      cardTypes_->ReadersChanged();
    };
  }
  // A reader that goes, or a service that goes with every reader, raises no card event.
  kernel_.OnDevicesListChanged = [this](TConnection&, std::uint32_t) { ReadersChanged(); };
  kernel_.OnConnectionDown = [this] { ReadersChanged(); };
}

void MainWindowPages::ConnectDevice(DeviceLayer& layer) {
  monitor_->SetCardCommands({[&layer](int reader) { layer.OpenCard(reader); },
                             [&layer](int reader) { layer.CloseCard(reader); },
                             [&layer](int reader) { layer.ResetCard(reader); }});
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
  exchange_->RefreshReaders();
  cardTypes_->ReadersChanged();
}

bool MainWindowPages::ShowPage(const std::string& name) {
  const auto& names = PageNames();
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return false;
  form_.PageControl->setCurrentIndex(static_cast<int>(found - names.begin()));
  return true;
}

}  // namespace tessaly

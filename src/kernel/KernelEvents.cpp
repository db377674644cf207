#include <exception>
#include <utility>

#include "kernel/KernelObject.h"
#include "kernel/LogDetails.h"
#include "monitor/_VMonitorTree.h"
#include "platform/CodePage.h"
#include "platform/RaiseEvent.h"
#include "readers/ReaderTable.h"
#include "readers/Vocabulary.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {

bool SeparateHexBytes = false;

namespace {

std::uint8_t CardStateOf(TEventCode code) {
  switch (code) {
    case ecWaitingForCard:
      return csWaitingForCard;
    case ecCardDetected:
      return csCardDetected;
    case ecCardInvalid:
      return csCardInvalid;
    default:
      return csCardReady;
  }
}

}  // namespace

void TKernelObject::SetLogClock(LogClock clock) {
  clock_ = std::move(clock);
}

void TKernelObject::LogEvent(std::uint8_t eventCode, const std::u16string& source,
                             const std::u16string& details) {
  const auto time = clock_ ? clock_() : std::chrono::system_clock::now();
  // Wraps instead of overflowing after 2^31 records.
  EventCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(EventCount) + 1u);
  try {
    const std::u16string eventName = EventCodeToStr(eventCode);
    Raise(OnLog, EventCount, eventCode, source, eventName, details, time);
  } catch (const std::exception&) {
    // The subscriber loses this record only; the event that caused it goes on.
  }
}

bool TKernelObject::Logs(TLogModes modes) const {
  switch (modes) {
    case TLogModes::Every:
      return true;
    case TLogModes::Main:
      return EventLogMode == kLogEveryEvent || EventLogMode == kLogMainEvents;
    case TLogModes::FullLogOnly:
      return EventLogMode == kLogEveryEvent;
  }
  return false;
}

bool TKernelObject::Record(TLogModes modes, TEventCode code, const std::string& source,
                           const std::u16string& details) {
  if (!Logs(modes)) return false;
  try {
    LogEvent(code, AnsiToWide(source), details);
  } catch (const std::exception&) {
    // A record that cannot be made never keeps the event from being passed on.
  }
  return true;
}

void TKernelObject::RaiseConnectionDown() {
  Raise(OnConnectionDown);
}

void TKernelObject::RaiseConnectionDownSwallowed() {
  try {
    Raise(OnConnectionDown);
  } catch (const std::exception&) {
    // Losing the service is reported to the device layer by its own event, not by a subscriber's failure.
  }
}

void TKernelObject::RaiseCardEvents(const TKernelCardEvent& cardEvent, const std::string& readerName,
                                    TCardInfo& card, std::uint8_t cardState) {
  Raise(OnCardStateChanged, readerName, cardState);
  Raise(cardEvent, readerName, card);
}

void TKernelObject::HandleCardStage(TEventCode code, const TKernelCardEvent& cardEvent,
                                    const std::string& readerName, TCardInfo& card,
                                    TSubscriberFailures failures) {
  const std::u16string details =
      code == ecCardReady ? AnsiToWide(CardReadyDetails(card.ATR)) : CardPromptToStr(code);
  Record(TLogModes::Main, code, readerName, details);
  if (failures == TSubscriberFailures::Propagated) {
    RaiseCardEvents(cardEvent, readerName, card, CardStateOf(code));
    return;
  }
  try {
    RaiseCardEvents(cardEvent, readerName, card, CardStateOf(code));
  } catch (const std::exception&) {
    // A failing OnCardStateChanged skips the handler's own event; the device layer carries on.
  }
}

// Settings events.

void TKernelObject::HandleCardTypesChanged(const TRegistryDataChangedInfo&) {
  if (Connection) Connection->RefreshAllReaders();
  Raise(OnSettingsChanged);
}

void TKernelObject::HandleConnectionPreferencesChanged() {
  if (Connection) Connection->ReloadOnDetectParams();
  Raise(OnSettingsChanged);
}

// Reading a missing preference stores its default and raises this event again; the nested call reads the
// value just stored, so both end with the same mode. When the store refuses the write, the nested read gets
// the default without storing it again, and the refused write reaches the outer caller.
void TKernelObject::HandleEventLogModeChanged(TRegistrySettings&) {
  if (!Settings) return;
  EventLogMode = static_cast<std::uint8_t>(Settings->GetEventLogMode() & 0xFF);
  RefreshMonitorPreferences();
  Raise(OnSettingsChanged);
}

void TKernelObject::HandleSeparateHexBytesChanged(TRegistrySettings&) {
  if (!Settings) return;
  SeparateHexBytes = Settings->GetSeparateHexBytes();
  RefreshMonitorPreferences();
  Raise(OnSettingsChanged);
}

void TKernelObject::RefreshMonitorPreferences() {
  if (Monitor)
    ShowMiscellaneous(*Monitor, MiscellaneousFlags(SeparateHexBytes, EventLogMode == kLogEveryEvent));
}

// Connection events.

void TKernelObject::HandleError(TConnection& sender, const std::string& source, std::int32_t code,
                                const std::string& message) {
  Record(TLogModes::Every, ecError, source.empty() ? sender.DisplayName() : source,
         AnsiToWide(ErrorDetails(code, message)));
  Raise(OnError, sender, source, code, message);
}

void TKernelObject::HandleDriverNotSelected(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecDriverNotSelected, sender.DisplayName());
  RaiseConnectionDown();
}

void TKernelObject::HandleDriverSelected(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecDriverSelected, sender.DisplayName());
}

void TKernelObject::HandleBeforeDriverLoading(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecBeforeDriverLoading, sender.DisplayName());
}

void TKernelObject::HandleDriverNotLoaded(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecDriverNotLoaded, sender.DisplayName());
  RaiseConnectionDown();
}

void TKernelObject::HandleDriverLoaded(TConnection& sender) {
  Record(TLogModes::Main, ecDriverLoaded, sender.DisplayName());
}

void TKernelObject::HandleBeforeServiceConnection(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecBeforeServiceConnection, sender.DisplayName());
}

void TKernelObject::HandleServiceNotConnected(TConnection& sender) {
  Record(TLogModes::Main, ecServiceNotConnected, sender.DisplayName());
  RaiseConnectionDownSwallowed();
}

void TKernelObject::HandleServiceConnected(TConnection& sender) {
  Record(TLogModes::Main, ecServiceConnected, sender.DisplayName());
  Raise(OnServiceConnected);
}

void TKernelObject::HandleBeforeDevicesList(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecBeforeDevicesList, sender.DisplayName());
}

void TKernelObject::HandleDevicesListChanged(TConnection& sender, std::uint32_t value) {
  Record(TLogModes::FullLogOnly, ecDevicesListChanged, sender.DisplayName());
  try {
    Raise(OnDevicesListChanged, sender, value);
  } catch (const std::exception&) {
    // The device layer goes on with the new list whatever a subscriber makes of it.
  }
}

void TKernelObject::HandleReaderStateChanged(TConnection& sender, std::uint32_t value,
                                             std::uint32_t stateWord, const std::string& readerName,
                                             const std::vector<std::string>& stateLines,
                                             std::uint32_t extra) {
  if (!Record(TLogModes::Main, ecReaderStateChanged, readerName,
              AnsiToWide(ReaderStateDetails(stateWord, stateLines)))) {
    return;
  }
  Raise(OnReaderStateChanged, sender, value, stateWord, readerName, stateLines, extra);
}

void TKernelObject::HandleBeforeReaderOpening(TConnection&, const std::string& readerName, std::uint32_t) {
  Record(TLogModes::FullLogOnly, ecBeforeReaderOpening, readerName);
}

void TKernelObject::HandleReaderOpened(TConnection&, const std::string& readerName, std::uint32_t) {
  Record(TLogModes::FullLogOnly, ecReaderOpened, readerName);
}

void TKernelObject::HandleBeforeReaderClosing(TConnection&, const std::string& readerName, std::uint32_t) {
  Record(TLogModes::FullLogOnly, ecBeforeReaderClosing, readerName);
}

void TKernelObject::HandleReaderClosed(TConnection&, const std::string& readerName, std::uint32_t) {
  Record(TLogModes::FullLogOnly, ecReaderClosed, readerName);
}

void TKernelObject::HandleWaitingForCard(TConnection&, const std::string& readerName, TCardInfo& card,
                                         std::uint32_t) {
  HandleCardStage(ecWaitingForCard, OnWaitingForCard, readerName, card, TSubscriberFailures::Swallowed);
}

void TKernelObject::HandleCardDetected(TConnection&, const std::string& readerName, TCardInfo& card,
                                       std::uint32_t) {
  HandleCardStage(ecCardDetected, OnCardDetected, readerName, card, TSubscriberFailures::Swallowed);
}

void TKernelObject::HandleCardInvalid(TConnection&, const std::string& readerName, TCardInfo& card,
                                      std::uint32_t) {
  HandleCardStage(ecCardInvalid, OnCardInvalid, readerName, card, TSubscriberFailures::Propagated);
}

void TKernelObject::HandleCardReady(TConnection&, const std::string& readerName, TCardInfo& card,
                                    std::uint32_t) {
  HandleCardStage(ecCardReady, OnCardReady, readerName, card, TSubscriberFailures::Swallowed);
}

void TKernelObject::HandleBeforeDataSending(TConnection&, const std::string& readerName, std::uint32_t) {
  Record(TLogModes::FullLogOnly, ecBeforeDataSending, readerName);
}

void TKernelObject::HandleDataSent(TConnection&, const std::string& readerName, const std::string& sentBytes,
                                   const std::string& receivedBytes) {
  Record(TLogModes::Main, ecDataSent, readerName, AnsiToWide(ExchangeLogDetails(sentBytes, receivedBytes)));
  Raise(OnDataSent, readerName, sentBytes, receivedBytes);
}

void TKernelObject::HandleBeforeServiceDisconnection(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecBeforeServiceDisconnection, sender.DisplayName());
  Raise(OnCardStateChanged, std::string(), csWaitingForCard);
}

void TKernelObject::HandleServiceDisconnected(TConnection& sender) {
  Record(TLogModes::Main, ecServiceDisconnected, sender.DisplayName());
  RaiseConnectionDownSwallowed();
}

void TKernelObject::HandleBeforeDriverDisconnection(TConnection& sender) {
  Record(TLogModes::FullLogOnly, ecBeforeDriverDisconnection, sender.DisplayName());
}

void TKernelObject::HandleDriverDisconnected(TConnection& sender) {
  Record(TLogModes::Main, ecDriverDisconnected, sender.DisplayName());
  RaiseConnectionDown();
}

// Message texts make no record.

void TKernelObject::HandleShowMessage(const std::string& text) {
  MessageShown = true;
  Raise(OnShowMessage, text);
}

void TKernelObject::HandleHideMessage() {
  if (!MessageShown) return;
  MessageShown = false;
  Raise(OnHideMessage);
}

}  // namespace tessaly

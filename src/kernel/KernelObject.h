#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "platform/RegistryHive.h"
#include "readers/EventCodes.h"

namespace tessaly {

class TRegistrySettings;
class TTreeControl;
struct TRegistryDataChangedInfo;

// Outgoing events of the kernel; a client sets the fields directly, and the kernel raises an event only when
// it is set. Where an event passes a connection event on, it has that event's shape.
using TKernelLogEvent =
    std::function<void(std::int32_t number, std::uint8_t eventCode, const std::u16string& source,
                       const std::u16string& eventName, const std::u16string& details,
                       std::chrono::system_clock::time_point time)>;
using TKernelNotifyEvent = std::function<void()>;
using TKernelCardStateEvent = std::function<void(const std::string& readerName, std::uint8_t cardState)>;
using TKernelCardEvent = std::function<void(const std::string& readerName, TCardInfo& card)>;
using TKernelDataSentEvent = std::function<void(const std::string& readerName, const std::string& sentBytes,
                                                const std::string& receivedBytes)>;

// The clock whose reading stamps each log record.
using LogClock = std::function<std::chrono::system_clock::time_point()>;

// Creates the kernel's connection from the kernel's settings-store field and the owner handle.
using TConnectionFactory = std::function<std::unique_ptr<TConnection>(
    std::unique_ptr<TRegistrySettings>& settings, std::uint32_t ownerHandle)>;

// The core of the smart-card component: it owns the settings store and the connection and passes what they
// report on through its outgoing events.
class TKernelObject {
 public:
  using THiveOpener = std::function<std::shared_ptr<RegistryHive>()>;

  // Never fails: a failure while opening the registry, locating the component folder or creating the
  // settings store is kept for Start to report, and the objects not yet created stay null. The product
  // identity is set in any case. The registry is the process hive unless a test opens one of its own.
  explicit TKernelObject(std::uint32_t ownerHandle, const THiveOpener& openHive = OpenProcessHive);
  ~TKernelObject();
  TKernelObject(const TKernelObject&) = delete;
  TKernelObject& operator=(const TKernelObject&) = delete;

  // Brings the registry up to date with the running version, then puts the shipped template files the
  // working folder lacks in place; run once, right after construction. Raises ETessalyError when there is no
  // settings store, saying why it could not be opened.
  void Start();

  // Makes one numbered, time-stamped record for OnLog. The number advances also without a subscriber; a
  // failing subscriber loses only its own record.
  void LogEvent(std::uint8_t eventCode, const std::u16string& source, const std::u16string& details);
  // Whether the event-log mode records the main events (not errors only), as a host's own notes should.
  bool LogsMainEvents() const { return Logs(TLogModes::Main); }
  // Shows the two display preferences in the attached monitor, if any.
  void RefreshMonitorPreferences();
  // Replaces the clock LogEvent reads; an empty clock restores the system's.
  void SetLogClock(LogClock clock);
  // The store's handlers for its two log preferences: each reads its preference again. EventLogMode and
  // SeparateHexBytes follow the store only from its first change on, so a host calls both once after Start
  // to have the stored values hold from the first record.
  void HandleEventLogModeChanged(TRegistrySettings& sender);
  void HandleSeparateHexBytesChanged(TRegistrySettings& sender);

  std::uint32_t OwnerHandle;
  TKernelLogEvent OnLog;
  THideMessageEvent OnHideMessage;
  TShowMessageEvent OnShowMessage;
  bool MessageShown = false;
  TConnectionValueEvent OnDevicesListChanged;
  TKernelNotifyEvent OnServiceConnected;
  TKernelNotifyEvent OnConnectionDown;
  TKernelCardStateEvent OnCardStateChanged;
  TConnectionReportEvent OnError;
  TReaderStateChangedEvent OnReaderStateChanged;
  TKernelCardEvent OnCardDetected;
  TKernelCardEvent OnWaitingForCard;
  TKernelCardEvent OnCardInvalid;
  TKernelCardEvent OnCardReady;
  TKernelDataSentEvent OnDataSent;
  // For hosts: raised once the kernel has handled an event of the settings store, so that a page showing
  // the settings can read them again.
  TKernelNotifyEvent OnSettingsChanged;
  std::int32_t EventCount = 0;
  std::uint8_t EventLogMode = 0;
  // Owned. The connection holds a reference to this field, not a copy of the pointer, so that it always
  // reaches the current store; declared first so that the connection is released before it.
  std::unique_ptr<TRegistrySettings> Settings;
  std::unique_ptr<TConnection> Connection;
  // Attached by a host, never owned; this program attaches none.
  TTreeControl* Monitor = nullptr;

 private:
  // In which event-log modes a connection event is recorded.
  enum class TLogModes { Every, Main, FullLogOnly };
  // Whether a failure of the card events' subscribers stops in the handler or reaches the device layer.
  enum class TSubscriberFailures { Swallowed, Propagated };

  // Binds the store's events, creates the connection and binds its events; a failure ends it there.
  void CompleteConstruction();
  void BindSettingsEvents();
  void BindConnectionEvents();

  bool Logs(TLogModes modes) const;
  // Records the event when the mode asks for it and reports whether it did; a failing record is dropped.
  bool Record(TLogModes modes, TEventCode code, const std::string& source,
              const std::u16string& details = {});
  void RaiseConnectionDown();
  void RaiseConnectionDownSwallowed();
  // The card-state change, then the handler's own event; failures reach the caller.
  void RaiseCardEvents(const TKernelCardEvent& cardEvent, const std::string& readerName, TCardInfo& card,
                       std::uint8_t cardState);
  void HandleCardStage(TEventCode code, const TKernelCardEvent& cardEvent, const std::string& readerName,
                       TCardInfo& card, TSubscriberFailures failures);

  void HandleCardTypesChanged(const TRegistryDataChangedInfo& info);
  void HandleConnectionPreferencesChanged();

  void HandleError(TConnection& sender, const std::string& source, std::int32_t code,
                   const std::string& message);
  void HandleDriverNotSelected(TConnection& sender);
  void HandleDriverSelected(TConnection& sender);
  void HandleBeforeDriverLoading(TConnection& sender);
  void HandleDriverNotLoaded(TConnection& sender);
  void HandleDriverLoaded(TConnection& sender);
  void HandleBeforeServiceConnection(TConnection& sender);
  void HandleServiceNotConnected(TConnection& sender);
  void HandleServiceConnected(TConnection& sender);
  void HandleBeforeDevicesList(TConnection& sender);
  void HandleDevicesListChanged(TConnection& sender, std::uint32_t value);
  void HandleReaderStateChanged(TConnection& sender, std::uint32_t value, std::uint32_t stateWord,
                                const std::string& readerName, const std::vector<std::string>& stateLines,
                                std::uint32_t extra);
  void HandleBeforeReaderOpening(TConnection& sender, const std::string& readerName, std::uint32_t value);
  void HandleReaderOpened(TConnection& sender, const std::string& readerName, std::uint32_t value);
  void HandleBeforeReaderClosing(TConnection& sender, const std::string& readerName, std::uint32_t value);
  void HandleReaderClosed(TConnection& sender, const std::string& readerName, std::uint32_t value);
  void HandleWaitingForCard(TConnection& sender, const std::string& readerName, TCardInfo& card,
                            std::uint32_t value);
  void HandleCardDetected(TConnection& sender, const std::string& readerName, TCardInfo& card,
                          std::uint32_t value);
  void HandleCardInvalid(TConnection& sender, const std::string& readerName, TCardInfo& card,
                         std::uint32_t value);
  void HandleCardReady(TConnection& sender, const std::string& readerName, TCardInfo& card,
                       std::uint32_t value);
  void HandleBeforeDataSending(TConnection& sender, const std::string& readerName, std::uint32_t value);
  void HandleDataSent(TConnection& sender, const std::string& readerName, const std::string& sentBytes,
                      const std::string& receivedBytes);
  void HandleBeforeServiceDisconnection(TConnection& sender);
  void HandleServiceDisconnected(TConnection& sender);
  void HandleBeforeDriverDisconnection(TConnection& sender);
  void HandleDriverDisconnected(TConnection& sender);
  void HandleShowMessage(const std::string& text);
  void HandleHideMessage();

  LogClock clock_;
  // Why construction stopped before the settings store existed; empty when it did not.
  std::string constructionFailure_;
};

// The program's one kernel, held from its construction by the program entry until its release.
extern std::unique_ptr<TKernelObject> Kernel;

// Whether byte strings are written with a blank between the hexadecimal pairs of two bytes. False at start;
// follows the stored preference whenever the settings store reports a change of it.
extern bool SeparateHexBytes;

// Replaces how kernels create their connection (tests make the creation fail with it) and returns the
// previous factory; an empty factory restores the plain constructor.
TConnectionFactory SetConnectionFactory(TConnectionFactory factory);

}  // namespace tessaly

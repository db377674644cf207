#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "platform/RegistryHive.h"

namespace tessaly {

class TRegistrySettings;
class TTreeControl;

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

  // Brings the registry up to date with the running version; run once, right after construction. Raises
  // ETessalyError when there is no settings store, saying why it could not be opened.
  void Start();

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
  std::int32_t EventCount = 0;
  std::uint8_t EventLogMode = 0;
  // Owned. The connection holds a reference to this field, not a copy of the pointer, so that it always
  // reaches the current store; declared first so that the connection is released before it.
  std::unique_ptr<TRegistrySettings> Settings;
  std::unique_ptr<TConnection> Connection;
  // Attached by a host, never owned; this program attaches none.
  TTreeControl* Monitor = nullptr;

 private:
  // Why construction stopped before the settings store existed; empty when it did not.
  std::string constructionFailure_;
};

// The program's one kernel, held from its construction by the program entry until its release.
extern std::unique_ptr<TKernelObject> Kernel;

}  // namespace tessaly

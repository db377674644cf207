#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "readers/ReaderTable.h"

namespace tessaly {

class TConnection;
class TRegistrySettings;
class TTreeControl;

// Event shapes of the connection. The sender is the connection itself; OnHideMessage and OnShowMessage
// carry no sender. Parameters the kernel only passes on are plain 32-bit values.
using TConnectionEvent = std::function<void(TConnection& sender)>;
using TConnectionValueEvent = std::function<void(TConnection& sender, std::uint32_t value)>;
using TConnectionReportEvent = std::function<void(TConnection& sender, const std::string& source,
                                                  std::int32_t code, const std::string& text)>;
using TReaderStateChangedEvent = std::function<void(
    TConnection& sender, std::uint32_t value, std::uint32_t stateWord, const std::string& readerName,
    const std::vector<std::string>& stateLines, std::uint32_t extra)>;
using TReaderEvent =
    std::function<void(TConnection& sender, const std::string& readerName, std::uint32_t value)>;
using TCardEvent = std::function<void(TConnection& sender, const std::string& readerName, TCardInfo& card,
                                      std::uint32_t value)>;
using TCardTypeResolvedEvent = std::function<void(TConnection& sender, const std::string& readerName,
                                                  TCardInfo& card, TReaderHead& entry)>;
using THideMessageEvent = std::function<void()>;
using TShowMessageEvent = std::function<void(const std::string& message)>;
using TDataSentEvent = std::function<void(TConnection& sender, const std::string& readerName,
                                          const std::string& sentBytes, const std::string& receivedBytes)>;

// Orders texts the way the ATR index is kept: ASCII letters compared without regard to case.
struct TextLessIgnoringCase {
  bool operator()(const std::string& left, const std::string& right) const;
};

// The drivers the device layer knows of; nothing in this system reads them.
struct TVDrivers {
  std::string SelectedName;
  std::string SearchPath;
  std::vector<std::string> Names;
};

struct TDriverInfo {
  std::string LibraryName;
  std::uint32_t Handle = 0;
};

// The smart-card connection: one slot per connection event, the reader names, the ATR index, and the
// per-reader loading of card types. Driven by the device layer from one side and by the kernel from the
// other.
class TConnection {
 public:
  // settings is the kernel's own field, looked up at every use so that the current store is always reached.
  TConnection(std::unique_ptr<TRegistrySettings>& settings, std::uint32_t ownerHandle);
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Event slots; an event is raised only when its slot is set.
  TConnectionValueEvent OnDevicesListChanged;
  TConnectionReportEvent OnError;
  TConnectionEvent OnServiceConnected;
  TConnectionEvent OnBeforeDriverDisconnection;
  TConnectionEvent OnServiceNotConnected;
  TConnectionEvent OnServiceDisconnected;
  TConnectionEvent OnDriverLoaded;
  TConnectionEvent OnBeforeDriverLoading;
  TConnectionEvent OnDriverDisconnected;
  TConnectionEvent OnDriverNotLoaded;
  TConnectionEvent OnBeforeServiceConnection;
  TConnectionEvent OnBeforeServiceDisconnection;
  TConnectionEvent OnDriverNotSelected;
  TReaderStateChangedEvent OnReaderStateChanged;
  TReaderEvent OnReaderOpened;
  TReaderEvent OnReaderClosed;
  TCardEvent OnCardDetected;
  TCardEvent OnCardInvalid;
  TCardEvent OnCardReady;
  TCardEvent OnWaitingForCard;
  TConnectionEvent OnDriverSelected;
  TConnectionEvent OnBeforeDevicesList;
  TReaderEvent OnBeforeReaderClosing;
  TReaderEvent OnBeforeReaderOpening;
  TReaderEvent OnBeforeDataSending;
  // While set, LoadCardType does not raise OnCardTypeResolved; every ATR assignment clears it.
  bool SuppressCardTypeEvent = false;
  TConnectionReportEvent OnAuxReport1;
  TConnectionReportEvent OnAuxReport2;
  TCardTypeResolvedEvent OnCardTypeResolved;
  THideMessageEvent OnHideMessage;
  TShowMessageEvent OnShowMessage;
  TDataSentEvent OnDataSent;

  // Name i belongs to reader-table entry i; never more than kReaderCount names.
  std::vector<std::string> Readers;
  TVDrivers Drivers;
  TDriverInfo PCSCDriver;
  TDriverInfo CardServerDriver;
  std::unique_ptr<TRegistrySettings>& Settings;
  // Lines "ATR=card type name", ATR without blanks; sorted and free of repeats, letter case ignored.
  std::set<std::string, TextLessIgnoringCase> ATRTypes;
  // 0 none, 1 PC/SC smart-card service, 2 CardServer.
  std::uint8_t InterfaceKind = 0;
  // From 1 the monitor shows the on-detect preferences; card types load only at 2.
  std::uint8_t ConnectionState = 0;
  TTreeControl* Monitor = nullptr;  // not owned
  std::uint32_t OwnerHandle;

  void SetOnDevicesListChanged(TConnectionValueEvent handler);
  void SetOnError(TConnectionReportEvent handler);
  void SetOnServiceConnected(TConnectionEvent handler);
  void SetOnBeforeDriverDisconnection(TConnectionEvent handler);
  void SetOnServiceNotConnected(TConnectionEvent handler);
  void SetOnServiceDisconnected(TConnectionEvent handler);
  void SetOnDriverLoaded(TConnectionEvent handler);
  void SetOnBeforeDriverLoading(TConnectionEvent handler);
  void SetOnDriverDisconnected(TConnectionEvent handler);
  void SetOnDriverNotLoaded(TConnectionEvent handler);
  void SetOnBeforeServiceConnection(TConnectionEvent handler);
  void SetOnBeforeServiceDisconnection(TConnectionEvent handler);
  void SetOnDriverNotSelected(TConnectionEvent handler);
  void SetOnReaderStateChanged(TReaderStateChangedEvent handler);
  void SetOnReaderOpened(TReaderEvent handler);
  void SetOnReaderClosed(TReaderEvent handler);
  void SetOnCardDetected(TCardEvent handler);
  void SetOnCardInvalid(TCardEvent handler);
  void SetOnCardReady(TCardEvent handler);
  void SetOnWaitingForCard(TCardEvent handler);
  void SetOnDriverSelected(TConnectionEvent handler);
  void SetOnBeforeDevicesList(TConnectionEvent handler);
  void SetOnBeforeReaderClosing(TReaderEvent handler);
  void SetOnBeforeReaderOpening(TReaderEvent handler);
  void SetOnBeforeDataSending(TReaderEvent handler);
  void SetOnAuxReport1(TConnectionReportEvent handler);
  void SetOnAuxReport2(TConnectionReportEvent handler);
  void SetOnCardTypeResolved(TCardTypeResolvedEvent handler);
  void SetOnHideMessage(THideMessageEvent handler);
  void SetOnShowMessage(TShowMessageEvent handler);
  void SetOnDataSent(TDataSentEvent handler);

  // "Connection" without an interface, otherwise the service name of the interface kind.
  std::string DisplayName() const;

  // Reloads the card type of every reader in use and shows each in the monitor.
  void RefreshAllReaders();
  // Reads the on-detect preferences from the settings store and applies them to every reader.
  void ReloadOnDetectParams();

  // Resolves the card type of reader n from its ATR, loads the type's preferences and templates into the
  // card record and marks it loaded. Failures after the state checks are swallowed.
  void LoadCardType(int n);
  void ReloadATRTypes();
  // The card-type name the ATR (blanks and letter case ignored) belongs to, or "".
  std::string FindCardType(const std::string& atr) const;
  // Hands the ATR to the default card type; store failures pass on after the ATR index is reloaded.
  void AssignATRToDefault(const std::string& atr);
  // Keeps the ATR (blanks and letter case ignored) from the default card type while a card that holds it
  // stays in its reader (opened, closed or opened again): the user took it off its card type and does not
  // want it handed back. Such a card stays without card type until a card type lists its ATR; a card put in
  // later is given the default as any other.
  void WithholdATR(const std::string& atr);

  void StoreOnDetectParams(bool autoOpen, std::int32_t protocol, std::int32_t shareMode,
                           std::int32_t closingMode);
  void ApplyOnDetectParams(bool autoOpen, std::int32_t protocol, std::int32_t shareMode,
                           std::int32_t closingMode);

  void ShowReaderInMonitor(const std::string& readerName, TCardInfo& card, const TConnectParams& params);
  void ShowPreferencesInMonitor();
  void ClearCardTypeSuppression() { SuppressCardTypeEvent = false; }

  // Entry operations of the reader table, bounded by this connection's reader names.
  void ResetCardData(int n);
  void SetReaderDetectParams(int n, const TConnectParams& params);
  void ResetReaderParams(int n);

 private:
  TRegistrySettings& Store() const;
  void LoadResolvedCardType(TReaderHead& entry);

  // Open while a LoadCardType or RefreshAllReaders runs; the outermost one forgets the assigned ATRs.
  class ResolutionScope {
   public:
    explicit ResolutionScope(TConnection& connection);
    ~ResolutionScope();
    ResolutionScope(const ResolutionScope&) = delete;
    ResolutionScope& operator=(const ResolutionScope&) = delete;

   private:
    TConnection& connection_;
  };

  // ATRs handed to the default card type since the outermost load or refresh began. An ATR still unlisted
  // after its assignment (no card type bears the default name) ends every later load of it unresolved,
  // instead of being assigned again by the nested and repeated loads without end.
  std::set<std::string, TextLessIgnoringCase> assignedDuringResolution_;
  int resolutionDepth_ = 0;
  // Per reader, the ATR (without blanks) withheld from the default card type; empty for none.
  std::array<std::string, kReaderCount> withheldATRs_;
};

}  // namespace tessaly

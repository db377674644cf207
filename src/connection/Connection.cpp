#include "connection/Connection.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "monitor/_VMonitorTree.h"
#include "pcsc/PcscCodes.h"
#include "platform/CleanUp.h"
#include "platform/RaiseEvent.h"
#include "platform/TessalyError.h"
#include "platform/TextRules.h"
#include "readers/Vocabulary.h"
#include "settings/_RegistryWorks.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {

namespace {

constexpr std::uint8_t kStateConnected = 2;

// Marks the card record loaded when the loading steps end, however they end.
class MarkLoadedOnExit {
 public:
  explicit MarkLoadedOnExit(TCardInfo& card) : card_(card) {}
  ~MarkLoadedOnExit() { card_.CardState = csCardTypeLoaded; }
  MarkLoadedOnExit(const MarkLoadedOnExit&) = delete;
  MarkLoadedOnExit& operator=(const MarkLoadedOnExit&) = delete;

 private:
  TCardInfo& card_;
};

// A present card keeps its record through ResetCardData; one whose ATR no card type lists any more loses
// the card type it had.
void ForgetCardType(TReaderHead& entry) {
  entry.CardInfo.Preferences = TPreferencesATRRec{};
  if (entry.Templates != nullptr) entry.Templates->ClearTemplates();
}

}  // namespace

bool TextLessIgnoringCase::operator()(const std::string& left, const std::string& right) const {
  // Letters fold to capitals, so "_" and the other signs between "Z" and "a" sort after every letter.
  return std::lexicographical_compare(
      left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return static_cast<unsigned char>(AsciiUpper(a)) < static_cast<unsigned char>(AsciiUpper(b));
      });
}

TConnection::TConnection(std::unique_ptr<TRegistrySettings>& settings, std::uint32_t ownerHandle)
    : Settings(settings), OwnerHandle(ownerHandle) {}

void TConnection::SetOnDevicesListChanged(TConnectionValueEvent handler) {
  OnDevicesListChanged = std::move(handler);
}
void TConnection::SetOnError(TConnectionReportEvent handler) {
  OnError = std::move(handler);
}
void TConnection::SetOnServiceConnected(TConnectionEvent handler) {
  OnServiceConnected = std::move(handler);
}
void TConnection::SetOnBeforeDriverDisconnection(TConnectionEvent handler) {
  OnBeforeDriverDisconnection = std::move(handler);
}
void TConnection::SetOnServiceNotConnected(TConnectionEvent handler) {
  OnServiceNotConnected = std::move(handler);
}
void TConnection::SetOnServiceDisconnected(TConnectionEvent handler) {
  OnServiceDisconnected = std::move(handler);
}
void TConnection::SetOnDriverLoaded(TConnectionEvent handler) {
  OnDriverLoaded = std::move(handler);
}
void TConnection::SetOnBeforeDriverLoading(TConnectionEvent handler) {
  OnBeforeDriverLoading = std::move(handler);
}
void TConnection::SetOnDriverDisconnected(TConnectionEvent handler) {
  OnDriverDisconnected = std::move(handler);
}
void TConnection::SetOnDriverNotLoaded(TConnectionEvent handler) {
  OnDriverNotLoaded = std::move(handler);
}
void TConnection::SetOnBeforeServiceConnection(TConnectionEvent handler) {
  OnBeforeServiceConnection = std::move(handler);
}
void TConnection::SetOnBeforeServiceDisconnection(TConnectionEvent handler) {
  OnBeforeServiceDisconnection = std::move(handler);
}
void TConnection::SetOnDriverNotSelected(TConnectionEvent handler) {
  OnDriverNotSelected = std::move(handler);
}
void TConnection::SetOnReaderStateChanged(TReaderStateChangedEvent handler) {
  OnReaderStateChanged = std::move(handler);
}
void TConnection::SetOnReaderOpened(TReaderEvent handler) {
  OnReaderOpened = std::move(handler);
}
void TConnection::SetOnReaderClosed(TReaderEvent handler) {
  OnReaderClosed = std::move(handler);
}
void TConnection::SetOnCardDetected(TCardEvent handler) {
  OnCardDetected = std::move(handler);
}
void TConnection::SetOnCardInvalid(TCardEvent handler) {
  OnCardInvalid = std::move(handler);
}
void TConnection::SetOnCardReady(TCardEvent handler) {
  OnCardReady = std::move(handler);
}
void TConnection::SetOnWaitingForCard(TCardEvent handler) {
  OnWaitingForCard = std::move(handler);
}
void TConnection::SetOnDriverSelected(TConnectionEvent handler) {
  OnDriverSelected = std::move(handler);
}
void TConnection::SetOnBeforeDevicesList(TConnectionEvent handler) {
  OnBeforeDevicesList = std::move(handler);
}
void TConnection::SetOnBeforeReaderClosing(TReaderEvent handler) {
  OnBeforeReaderClosing = std::move(handler);
}
void TConnection::SetOnBeforeReaderOpening(TReaderEvent handler) {
  OnBeforeReaderOpening = std::move(handler);
}
void TConnection::SetOnBeforeDataSending(TReaderEvent handler) {
  OnBeforeDataSending = std::move(handler);
}
void TConnection::SetOnAuxReport1(TConnectionReportEvent handler) {
  OnAuxReport1 = std::move(handler);
}
void TConnection::SetOnAuxReport2(TConnectionReportEvent handler) {
  OnAuxReport2 = std::move(handler);
}
void TConnection::SetOnCardTypeResolved(TCardTypeResolvedEvent handler) {
  OnCardTypeResolved = std::move(handler);
}
void TConnection::SetOnHideMessage(THideMessageEvent handler) {
  OnHideMessage = std::move(handler);
}
void TConnection::SetOnShowMessage(TShowMessageEvent handler) {
  OnShowMessage = std::move(handler);
}
void TConnection::SetOnDataSent(TDataSentEvent handler) {
  OnDataSent = std::move(handler);
}

std::string TConnection::DisplayName() const {
  return InterfaceKind == 0 ? "Connection" : InterfaceServiceInfo(InterfaceKind).ServiceName;
}

TRegistrySettings& TConnection::Store() const {
  if (!Settings) throw ETessalyError("The connection has no settings store");
  return *Settings;
}

TConnection::ResolutionScope::ResolutionScope(TConnection& connection) : connection_(connection) {
  ++connection_.resolutionDepth_;
}

TConnection::ResolutionScope::~ResolutionScope() {
  if (--connection_.resolutionDepth_ == 0) connection_.assignedDuringResolution_.clear();
}

void TConnection::RefreshAllReaders() {
  ResolutionScope scope(*this);
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    TReaderHead& entry = ReaderTable[i];
    if (entry.ReaderInUse == 0) continue;
    LoadCardType(static_cast<int>(i));
    const std::string name = i < Readers.size() ? Readers[i] : std::string();
    ShowReaderInMonitor(name, entry.CardInfo, entry.CurrentParams);
  }
}

void TConnection::ReloadOnDetectParams() {
  if (!Settings) return;
  // A value stored as its default on first read raises OnConnectionPreferencesChanged, which the kernel
  // answers by calling this operation again before the read returns; every nesting stores one value more,
  // so the nesting ends after at most four levels.
  const std::int32_t protocol = Store().GetProtocol();
  const std::int32_t shareMode = Store().GetSharing();
  const bool autoOpen = Store().GetAutoOpen();
  const std::int32_t closingMode = Store().GetClosingMode();
  ApplyOnDetectParams(autoOpen, protocol, shareMode, closingMode);
}

void TConnection::LoadCardType(int n) {
  if (n < 0 || n >= static_cast<int>(kReaderCount)) return;
  if (ServiceContext == 0 || Readers.empty()) return;
  ResetCardData(n);
  TReaderHead& entry = ReaderTable[static_cast<std::size_t>(n)];
  std::string& withheld = withheldATRs_[static_cast<std::size_t>(n)];
  // The card the ATR was withheld for has left; closing and opening it again keeps it withheld.
  if (entry.CardInfo.CardState < csCardDetected) withheld.clear();
  if (ConnectionState != kStateConnected) return;

  ResolutionScope scope(*this);
  try {
    const std::string atr = entry.CardInfo.ATR;
    const std::string readerName = entry.ReaderName;
    if (atr.empty()) return;
    ReloadATRTypes();
    const std::string name = FindCardType(atr);
    if (name.empty()) {
      if (!withheld.empty() && EqualsIgnoringAsciiCase(withheld, WithoutBlanks(atr))) {
        ForgetCardType(entry);
        return;
      }
      // The assignment re-enters through OnATRAssigned and RefreshAllReaders; those nested loads and the
      // repeated load below find the ATR listed, unless no card type bears the default name.
      if (!assignedDuringResolution_.insert(WithoutBlanks(atr)).second) return;
      AssignATRToDefault(atr);
      LoadCardType(n);
      return;
    }
    withheld.clear();
    entry.CardInfo.Preferences.CardTypeName = name;
    if (!SuppressCardTypeEvent) Raise(OnCardTypeResolved, *this, readerName, entry.CardInfo, entry);
    LoadResolvedCardType(entry);
  } catch (const std::exception&) {
    // A failed load leaves the reader with whatever was loaded before the failure.
  }
}

void TConnection::LoadResolvedCardType(TReaderHead& entry) {
  TCardInfo& card = entry.CardInfo;
  MarkLoadedOnExit markLoaded(card);
  // A copy: reading the card type clears the record that holds the name.
  const std::string requested = card.Preferences.CardTypeName;
  Store().ReadCardType(requested, card.Preferences);
  const std::string name = card.Preferences.CardTypeName;
  if (Settings) {
    const std::string path = Settings->GetCOSTemplatePath(name);
    if (!path.empty() && entry.Templates) entry.Templates->LoadCommandTemplate(path);
  }
  if (Settings) {
    const std::string path = Settings->GetSWTemplatePath(name);
    if (!path.empty() && entry.Templates) entry.Templates->LoadStatusWordTemplate(path);
  }
}

void TConnection::ReloadATRTypes() {
  ATRTypes.clear();
  if (!Settings) return;
  std::vector<std::string> lines = Settings->GetATRIndex();
  // Sorted first, the lines go in at the end of the list one by one; of repeated lines the first one stays.
  std::stable_sort(lines.begin(), lines.end(), ATRTypes.key_comp());
  for (std::string& line : lines) ATRTypes.emplace_hint(ATRTypes.end(), std::move(line));
}

std::string TConnection::FindCardType(const std::string& atr) const {
  const std::string key = WithoutBlanks(atr);
  // The key of a line is its text before the first "=", so a key holding "=" never matches.
  if (key.find('=') != std::string::npos) return {};
  // Lines whose key equals the ATR all begin with ATR "=" and sort together, from the first line not below
  // it.
  const std::string prefix = key + "=";
  const auto line = ATRTypes.lower_bound(prefix);
  if (line == ATRTypes.end() || !StartsWithIgnoringAsciiCase(*line, prefix)) return {};
  return line->substr(prefix.size());
}

void TConnection::AssignATRToDefault(const std::string& atr) {
  RunWithCleanUp(
      [&] {
        if (atr.empty()) return;
        const std::string name = Store().GetDefaultCardTypeName();
        Store().AssignATR(name, atr);
      },
      [&] { ReloadATRTypes(); }, [&] { ClearCardTypeSuppression(); });
}

void TConnection::WithholdATR(const std::string& atr) {
  const std::string withheld = WithoutBlanks(atr);
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    const TCardInfo& card = ReaderTable[i].CardInfo;
    if (card.CardState >= csCardReady && EqualsIgnoringAsciiCase(WithoutBlanks(card.ATR), withheld)) {
      withheldATRs_[i] = withheld;
    }
  }
}

void TConnection::StoreOnDetectParams(bool autoOpen, std::int32_t protocol, std::int32_t shareMode,
                                      std::int32_t closingMode) {
  OnDetectParams = TConnectParams{0, autoOpen, protocol, shareMode, closingMode};
}

void TConnection::ApplyOnDetectParams(bool autoOpen, std::int32_t protocol, std::int32_t shareMode,
                                      std::int32_t closingMode) {
  RunWithCleanUp(
      [&] {
        StoreOnDetectParams(autoOpen, protocol, shareMode, closingMode);
        const std::size_t count = std::min(Readers.size(), kReaderCount);
        for (std::size_t i = 0; i < count; ++i) {
          SetReaderDetectParams(static_cast<int>(i), OnDetectParams);
          ResetReaderParams(static_cast<int>(i));
        }
      },
      [&] { ShowPreferencesInMonitor(); });
}

void TConnection::ShowReaderInMonitor(const std::string& readerName, TCardInfo& card,
                                      const TConnectParams& params) {
  if (Monitor) ShowCard(*Monitor, nullptr, readerName, &card, params);
}

void TConnection::ShowPreferencesInMonitor() {
  if (!Monitor || InterfaceKind != kInterfacePcsc) return;
  ShowDetectDefaults(*Monitor, ConnectionState >= 1 ? &OnDetectParams : nullptr);
}

void TConnection::ResetCardData(int n) {
  tessaly::ResetCardData(Readers, n);
}

void TConnection::SetReaderDetectParams(int n, const TConnectParams& params) {
  tessaly::SetReaderDetectParams(n, params);
}

void TConnection::ResetReaderParams(int n) {
  tessaly::ResetReaderParams(n);
}

}  // namespace tessaly

#include "device/DeviceLayer.h"

#include <algorithm>
#include <exception>

#include "connection/PcscCodes.h"
#include "device/ApduText.h"
#include "device/CardInformation.h"
#include "device/PcscError.h"
#include "device/ReaderStateText.h"
#include "device/StatusWatcher.h"
#include "kernel/KernelObject.h"
#include "platform/RaiseEvent.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {
namespace {

constexpr std::uint32_t kProtocolMaskT0 = 1;
constexpr std::uint32_t kProtocolMaskT1 = 2;

// The protocols a reader's preferred protocol lets the service choose from: automatic detection (and the
// service's default) takes whichever of T=0 and T=1 the card offers.
std::uint32_t ProtocolMask(std::int32_t protocol) {
  if (protocol == kProtocolT0) return kProtocolMaskT0;
  if (protocol == kProtocolT1) return kProtocolMaskT1;
  if (protocol == kProtocolRaw) return static_cast<std::uint32_t>(kProtocolRaw);
  return kProtocolMaskT0 | kProtocolMaskT1;
}

std::int32_t ShareModeOf(const TConnectParams& params) {
  return params.ShareMode == 0 ? kShareShared : params.ShareMode;
}

std::uint32_t WithoutChangeFlag(std::uint32_t eventState) {
  return eventState & ~kStateChanged;
}

TReaderHead& Entry(int n) {
  return ReaderTable.at(static_cast<std::size_t>(n));
}

}  // namespace

// What the layer keeps per reader-table entry besides the entry itself.
struct DeviceLayer::ReaderSlot {
  TTemplatesObject Templates;
  std::vector<std::string> InfoList;
  // The reader's last state word without the change flag; 0 until its first state is known.
  std::uint32_t State = 0;
  std::vector<std::uint8_t> Atr;
  bool Open = false;
  CardHandle Card = 0;
  std::int32_t Protocol = 0;
};

DeviceLayer::DeviceLayer(TConnection& connection, std::unique_ptr<PcscService> service, Dispatcher dispatch)
    : connection_(connection), service_(std::move(service)), dispatch_(std::move(dispatch)) {
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    slots_[i] = std::make_unique<ReaderSlot>();
    slots_[i]->Templates.OwnerTag = static_cast<std::uint32_t>(i);
  }
}

DeviceLayer::~DeviceLayer() {
  Stop();
}

void DeviceLayer::SetOnSettled(std::function<void()> handler) {
  onSettled_ = std::move(handler);
}

void DeviceLayer::Post(std::function<void()> task) {
  dispatch_([started = started_, task = std::move(task)] {
    if (!*started) return;
    // A posted change has no caller to hand a failure to: a subscriber that failed has had its say.
    try {
      task();
    } catch (const std::exception&) {
    }
  });
}

void DeviceLayer::Start() {
  if (*started_) return;
  *started_ = true;
  WatcherReports reports;
  reports.Changed = [this](std::vector<ReaderState> readers) {
    Post([this, readers = std::move(readers)] { ApplyReaders(readers); });
  };
  reports.ServiceLost = [this](std::uint32_t code) { Post([this, code] { ServiceLost(code); }); };
  reports.RetryDue = [this] { Post([this] { RetryService(); }); };
  watcher_ = std::make_unique<StatusWatcher>(*service_, std::move(reports));
  if (RunStartSequence()) {
    watcher_->Watch(known_);
  } else {
    watcher_->RetryLater();
  }
  Post([this] { Raise(onSettled_); });
}

void DeviceLayer::Stop() {
  if (!*started_) return;
  watcher_->Stop();
  watcher_.reset();
  *started_ = false;
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    ReaderSlot& slot = *slots_[i];
    if (!slot.Open) continue;
    slot.Open = false;
    // Nobody is left to hear of a card that cannot be released on the way out.
    try {
      service_->Disconnect(slot.Card, ReaderTable[i].CurrentParams.ClosingMode);
    } catch (const EPcscError&) {
    }
  }
  service_->ReleaseContext();
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    if (ReaderTable[i].Templates == &slots_[i]->Templates) ReaderTable[i] = TReaderHead{};
  }
  connection_.Readers.clear();
  connection_.ConnectionState = 0;
  ServiceContext = 0;
}

bool DeviceLayer::RunStartSequence() {
  connection_.InterfaceKind = kInterfacePcsc;
  if (!ConnectService()) return false;
  if (!ListReaders()) return false;
  SettleStates();
  return true;
}

bool DeviceLayer::ConnectService() {
  Raise(connection_.OnBeforeServiceConnection, connection_);
  try {
    service_->EstablishContext();
  } catch (const EPcscError& failure) {
    ReportError("", failure.Code());
    Raise(connection_.OnServiceNotConnected, connection_);
    return false;
  }
  ServiceContext = service_->ContextValue();
  connection_.ConnectionState = 1;
  Raise(connection_.OnServiceConnected, connection_);
  return true;
}

bool DeviceLayer::ListReaders() {
  Raise(connection_.OnBeforeDevicesList, connection_);
  std::vector<ReaderState> states;
  try {
    for (const std::string& name : service_->ListReaders())
      states.push_back(ReaderState{name, kStateUnaware, 0, {}});
    if (!states.empty()) service_->GetStatusChange(states, 0);
  } catch (const EPcscError& failure) {
    ServiceLost(failure.Code());
    return false;
  }
  for (const ReaderState& state : states) {
    const int n = LowestFreeEntry();
    if (n >= 0) AddReader(n, state.Name);
  }
  connection_.ConnectionState = 2;
  Raise(connection_.OnDevicesListChanged, connection_,
        static_cast<std::uint32_t>(connection_.Readers.size()));
  connection_.ReloadOnDetectParams();
  ApplyReaders(states);
  return true;
}

void DeviceLayer::SettleStates() {
  // Each round answers what the layer's own calls changed; a service that keeps changing is left to the
  // worker after a few rounds.
  for (int round = 0; round < 4 && !known_.empty(); ++round) {
    std::vector<ReaderState> states = known_;
    try {
      if (!service_->GetStatusChange(states, 0)) return;
    } catch (const EPcscError&) {
      return;  // the worker meets the same failure at once and reports it
    }
    for (ReaderState& state : states) state.CurrentState = WithoutChangeFlag(state.EventState);
    ApplyReaders(states);
  }
}

void DeviceLayer::ApplyReaders(const std::vector<ReaderState>& readers) {
  const auto listed = [&](const std::string& name) {
    return std::any_of(readers.begin(), readers.end(), [&](const ReaderState& r) { return r.Name == name; });
  };
  bool listChanged = false;
  const auto beginListChange = [&] {
    if (!listChanged) Raise(connection_.OnBeforeDevicesList, connection_);
    listChanged = true;
  };
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    if (Entry(n).ReaderInUse == 0 || listed(Entry(n).ReaderName)) continue;
    beginListChange();
    RemoveReader(n);
  }
  std::erase_if(ignoredReaders_, [&](const std::string& name) { return !listed(name); });
  for (const ReaderState& reader : readers) {
    if (IndexOf(reader.Name) >= 0) continue;
    const int n = LowestFreeEntry();
    if (n < 0) {
      if (ignoredReaders_.insert(reader.Name).second) {
        Raise(connection_.OnError, connection_, reader.Name, std::int32_t{0},
              std::string("More than ten readers: this reader is ignored"));
      }
      continue;
    }
    beginListChange();
    AddReader(n, reader.Name);
  }
  if (listChanged) {
    const auto inUse = std::count_if(ReaderTable.begin(), ReaderTable.end(),
                                     [](const TReaderHead& entry) { return entry.ReaderInUse != 0; });
    Raise(connection_.OnDevicesListChanged, connection_, static_cast<std::uint32_t>(inUse));
  }
  known_ = readers;
  for (ReaderState& state : known_) state.CurrentState = WithoutChangeFlag(state.EventState);
  for (const ReaderState& reader : readers) {
    const int n = IndexOf(reader.Name);
    if (n >= 0) ApplyReaderState(n, reader);
  }
}

void DeviceLayer::AddReader(int n, const std::string& name) {
  std::vector<std::string>& names = connection_.Readers;
  if (names.size() <= static_cast<std::size_t>(n)) names.resize(static_cast<std::size_t>(n) + 1);
  names[static_cast<std::size_t>(n)] = name;
  ReaderSlot& slot = *slots_[static_cast<std::size_t>(n)];
  slot = ReaderSlot{};
  slot.Templates.OwnerTag = static_cast<std::uint32_t>(n);
  TReaderHead& entry = Entry(n);
  entry.ReaderName = name;
  entry.ReaderInUse = 1;
  entry.Templates = &slot.Templates;
  entry.CardInfo.InfoList = &slot.InfoList;
  entry.CardInfo.CardState = csNoCard;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.SetReaderDetectParams(n, OnDetectParams);
  connection_.ResetReaderParams(n);
}

void DeviceLayer::RemoveReader(int n) {
  ReaderSlot& slot = *slots_[static_cast<std::size_t>(n)];
  if (slot.Open) CloseOpenCard(n);
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csNoCard;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  entry = TReaderHead{};
  std::vector<std::string>& names = connection_.Readers;
  names[static_cast<std::size_t>(n)].clear();
  while (!names.empty() && names.back().empty()) names.pop_back();
  slot.State = 0;
  slot.Atr.clear();
}

void DeviceLayer::ApplyReaderState(int n, const ReaderState& state) {
  ReaderSlot& slot = *slots_[static_cast<std::size_t>(n)];
  const std::uint32_t word = WithoutChangeFlag(state.EventState);
  if (word == slot.State) return;
  const std::uint32_t before = slot.State;
  slot.State = word;
  const TReaderHead& entry = Entry(n);
  const std::vector<std::string> lines = ReaderStateLines(state.EventState, state.Atr);
  Raise(connection_.OnReaderStateChanged, connection_, static_cast<std::uint32_t>(n), state.EventState,
        entry.ReaderName, lines, std::uint32_t{0});
  const bool cardBefore = entry.CardInfo.CardState >= csCardDetected;
  const bool cardNow = (word & kStatePresent) != 0;
  // The high word counts insertions and removals, so a card swapped between two waits is seen too.
  const bool newCard = cardNow && (!cardBefore || (before >> 16) != (word >> 16));
  if (cardBefore && (!cardNow || newCard)) CardLeft(n);
  if (newCard) {
    slot.Atr = state.Atr;
    CardArrived(n);
  } else if (!cardNow && !cardBefore && before == 0) {
    // A reader's first state without a card asks for one.
    TCardInfo& card = Entry(n).CardInfo;
    card.CardState = csWaitingForCard;
    connection_.LoadCardType(n);
    Raise(connection_.OnWaitingForCard, connection_, Entry(n).ReaderName, card,
          static_cast<std::uint32_t>(n));
  }
}

void DeviceLayer::CardArrived(int n) {
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csCardDetected;
  Raise(connection_.OnCardDetected, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
  if ((slots_[static_cast<std::size_t>(n)]->State & kStateMute) != 0) {
    MarkInvalid(n, kScardUnresponsiveCard);
  } else if (entry.CurrentParams.AutoOpen) {
    OpenCard(n);
  }
}

void DeviceLayer::CardLeft(int n) {
  if (slots_[static_cast<std::size_t>(n)]->Open) CloseOpenCard(n);
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csWaitingForCard;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnWaitingForCard, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
}

void DeviceLayer::MarkInvalid(int n, std::uint32_t reason) {
  TReaderHead& entry = Entry(n);
  ReportError(entry.ReaderName, reason);
  entry.CardInfo.CardState = csCardInvalid;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardInvalid, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
}

void DeviceLayer::OpenCard(int reader) {
  if (reader < 0 || reader >= static_cast<int>(kReaderCount) || Entry(reader).ReaderInUse == 0) {
    throw EDeviceError("There is no reader " + std::to_string(reader));
  }
  ReaderSlot& slot = *slots_[static_cast<std::size_t>(reader)];
  TReaderHead& entry = Entry(reader);
  if (slot.Open) throw EDeviceError("The card in " + entry.ReaderName + " is open already");
  if ((slot.State & kStatePresent) == 0) throw EDeviceError("There is no card in " + entry.ReaderName);
  const auto value = static_cast<std::uint32_t>(reader);
  Raise(connection_.OnBeforeReaderOpening, connection_, entry.ReaderName, value);
  std::int32_t protocol = 0;
  try {
    slot.Card = service_->Connect(entry.ReaderName, ShareModeOf(entry.CurrentParams),
                                  ProtocolMask(entry.CurrentParams.Protocol), protocol);
  } catch (const EPcscError& failure) {
    MarkInvalid(reader, failure.Code());
    return;
  }
  slot.Open = true;
  slot.Protocol = protocol;
  Raise(connection_.OnReaderOpened, connection_, entry.ReaderName, value);
  TCardInfo& card = entry.CardInfo;
  card.ATR = HexBytes(slot.Atr, true);
  card.ActiveProtocol = protocol;
  slot.InfoList = CardInformationLines(slot.Atr);
  card.InfoList = &slot.InfoList;
  card.CardState = csCardReady;
  connection_.LoadCardType(reader);
  Raise(connection_.OnCardReady, connection_, entry.ReaderName, card, value);
}

DeviceLayer::ReaderSlot& DeviceLayer::OpenSlot(int reader) {
  if (reader < 0 || reader >= static_cast<int>(kReaderCount) ||
      !slots_[static_cast<std::size_t>(reader)]->Open) {
    throw EDeviceError("No card is open in reader " + std::to_string(reader));
  }
  return *slots_[static_cast<std::size_t>(reader)];
}

bool DeviceLayer::CardOpen(int reader) const {
  return reader >= 0 && reader < static_cast<int>(kReaderCount) &&
         slots_[static_cast<std::size_t>(reader)]->Open;
}

void DeviceLayer::CloseCard(int reader) {
  OpenSlot(reader);
  CloseOpenCard(reader);
  TCardInfo& card = Entry(reader).CardInfo;
  card.CardState = csCardDetected;
  card.ActiveProtocol = -1;
  connection_.LoadCardType(reader);
}

void DeviceLayer::CloseOpenCard(int n) {
  ReaderSlot& slot = *slots_[static_cast<std::size_t>(n)];
  const TReaderHead& entry = Entry(n);
  const auto value = static_cast<std::uint32_t>(n);
  Raise(connection_.OnBeforeReaderClosing, connection_, entry.ReaderName, value);
  slot.Open = false;
  try {
    service_->Disconnect(slot.Card, entry.CurrentParams.ClosingMode);
  } catch (const EPcscError& failure) {
    ReportError(entry.ReaderName, failure.Code());
  }
  Raise(connection_.OnReaderClosed, connection_, entry.ReaderName, value);
}

void DeviceLayer::ResetCard(int reader) {
  ReaderSlot& slot = OpenSlot(reader);
  TReaderHead& entry = Entry(reader);
  const auto value = static_cast<std::uint32_t>(reader);
  Raise(connection_.OnBeforeReaderOpening, connection_, entry.ReaderName, value);
  try {
    slot.Protocol = service_->Reconnect(slot.Card, ShareModeOf(entry.CurrentParams),
                                        ProtocolMask(entry.CurrentParams.Protocol), kResetCard);
  } catch (const EPcscError& failure) {
    ReportError(entry.ReaderName, failure.Code());
    throw;
  }
  entry.CardInfo.ActiveProtocol = slot.Protocol;
  Raise(connection_.OnReaderOpened, connection_, entry.ReaderName, value);
}

ExchangeResult DeviceLayer::Transmit(int reader, const std::string& hexCommand) {
  const std::vector<std::uint8_t> command = ParseHexBytes(hexCommand);
  return Transmit(reader, command);
}

ExchangeResult DeviceLayer::Transmit(int reader, std::span<const std::uint8_t> command) {
  CheckCommandLength(command);
  ReaderSlot& slot = OpenSlot(reader);
  const std::string name = Entry(reader).ReaderName;
  const auto value = static_cast<std::uint32_t>(reader);
  const auto step = [&](std::span<const std::uint8_t> sent) {
    Raise(connection_.OnBeforeDataSending, connection_, name, value);
    std::vector<std::uint8_t> received;
    try {
      received = service_->Transmit(slot.Card, slot.Protocol, sent);
    } catch (const EPcscError& failure) {
      ReportError(name, failure.Code());
      throw;
    }
    Raise(connection_.OnDataSent, connection_, name, HexBytes(sent, SeparateHexBytes),
          HexBytes(received, SeparateHexBytes));
    return received;
  };
  return ExchangeWithCompletion(command, step);
}

void DeviceLayer::ServiceLost(std::uint32_t code) {
  ReportError("", code);
  Raise(connection_.OnBeforeServiceDisconnection, connection_);
  // The service has taken the card handles with it.
  for (const auto& slot : slots_) slot->Open = false;
  ClearReaders();
  service_->ReleaseContext();
  ServiceContext = 0;
  connection_.ConnectionState = 0;
  Raise(connection_.OnServiceDisconnected, connection_);
  watcher_->RetryLater();
}

void DeviceLayer::ClearReaders() {
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    TReaderHead& entry = Entry(n);
    if (entry.ReaderInUse == 0) continue;
    entry.CardInfo.CardState = csNoCard;
    entry.CardInfo.ActiveProtocol = -1;
    connection_.ResetCardData(n);
    entry = TReaderHead{};
    slots_[static_cast<std::size_t>(n)]->State = 0;
  }
  connection_.Readers.clear();
  known_.clear();
  ignoredReaders_.clear();
}

void DeviceLayer::RetryService() {
  // Quietly first: only a service that answers gets the start sequence and its events.
  try {
    service_->EstablishContext();
  } catch (const EPcscError&) {
    watcher_->RetryLater();
    return;
  }
  service_->ReleaseContext();
  if (RunStartSequence()) {
    watcher_->Watch(known_);
  } else {
    watcher_->RetryLater();
  }
}

void DeviceLayer::ReportError(const std::string& source, std::uint32_t code) {
  Raise(connection_.OnError, connection_, source, static_cast<std::int32_t>(code), PcscCodeText(code));
}

int DeviceLayer::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    if (ReaderTable[i].ReaderInUse != 0 && ReaderTable[i].ReaderName == name) return static_cast<int>(i);
  }
  return -1;
}

int DeviceLayer::LowestFreeEntry() const {
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    if (ReaderTable[i].ReaderInUse == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tessaly

#include "device/DeviceLayer.h"

#include <algorithm>
#include <exception>

#include "device/DeviceLayerSlot.h"
#include "device/DeviceStateText.h"
#include "device/PcscError.h"
#include "device/ReaderStateText.h"
#include "device/StatusWatcher.h"
#include "monitor/_VMonitorTree.h"
#include "pcsc/PcscCodes.h"
#include "platform/RaiseEvent.h"

namespace tessaly {
namespace {

std::uint32_t WithoutChangeFlag(std::uint32_t eventState) {
  return eventState & ~kStateChanged;
}

TReaderHead& Entry(int n) {
  return ReaderTable.at(static_cast<std::size_t>(n));
}

// Every reader's state with the service's answer to a status-change call that does not wait; an empty list
// when nothing changed.
std::vector<ReaderState> FreshStates(PcscService& service, std::vector<ReaderState> states) {
  if (states.empty() || !service.GetStatusChange(states, 0)) return {};
  return states;
}

std::vector<ReaderState> ListedStates(PcscService& service) {
  std::vector<ReaderState> states;
  for (const std::string& name : service.ListReaders())
    states.push_back(ReaderState{name, kStateUnaware, 0, {}});
  if (!states.empty()) service.GetStatusChange(states, 0);
  return states;
}

}  // namespace

DeviceLayer::DeviceLayer(TConnection& connection, std::unique_ptr<PcscService> service, HostThread host)
    : connection_(connection),
      service_(std::move(service)),
      host_(std::move(host)),
      mailbox_([this](std::exception_ptr failure) { ReportFailure(failure); }),
      calls_(mailbox_, kCallDeadline) {
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    slots_[i] = std::make_unique<ReaderSlot>();
    slots_[i]->Templates.OwnerTag = static_cast<std::uint32_t>(i);
  }
}

DeviceLayer::~DeviceLayer() {
  Stop();
  // Letting the service go releases its contexts, a call that hangs as long as the service does: it
  // happens on a worker let go at once, never on the host's thread.
  Worker disposer;
  disposer.Post([service = std::move(service_)]() mutable { service.reset(); });
}

void DeviceLayer::SetOnSettled(std::function<void()> handler) {
  onSettled_ = std::move(handler);
}

DeviceLayer::ReaderSlot& DeviceLayer::Slot(int n) const {
  return *slots_.at(static_cast<std::size_t>(n));
}

std::string DeviceLayer::ReaderName(int n) const {
  return Entry(n).ReaderName;
}

void DeviceLayer::Start() {
  if (started_) return;
  started_ = true;
  gate_ = std::make_shared<HostGate>(host_);
  mailbox_.Clear();
  calls_.Reset(gate_);
  serviceWorker_ = std::make_unique<Worker>();
  // The watch reports from its worker; each report becomes a task of this run.
  const auto toMailbox = [this, gate = gate_](std::function<void()> task) {
    gate->Post([this, task = std::move(task)] { mailbox_.Post(task); });
  };
  WatcherReports reports;
  reports.Changed = [this, toMailbox](std::vector<ReaderState> readers) {
    toMailbox([this, readers = std::move(readers)] { ApplyReaders(readers); });
  };
  reports.ServiceLost = [this, toMailbox](const EPcscError& failure) {
    toMailbox([this, failure] { ServiceLost(failure); });
  };
  reports.RetryDue = [this, toMailbox] { toMailbox([this] { RetryService(); }); };
  watcher_ = std::make_unique<StatusWatcher>(service_, std::move(reports));
  settledPending_ = true;
  mailbox_.Post([this] { ConnectService(); });
}

void DeviceLayer::Stop() {
  if (!started_) return;
  started_ = false;
  const Worker::Clock::time_point deadline = Worker::Clock::now() + kStopBudget;
  // Nothing of this run reaches the host any more, so no thread touches the layer from here on.
  gate_->Close();
  watcher_->Stop();
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    ReaderSlot& slot = Slot(n);
    if (slot.Open) {
      // Nobody is left to hear of a card that cannot be released on the way out.
      slot.Lane->Post([service = service_, card = slot.Card, mode = Entry(n).CurrentParams.ClosingMode] {
        try {
          service->Disconnect(card, mode);
        } catch (const EPcscError&) {
        }
      });
    }
    slot.Open = false;
  }
  for (const auto& slot : slots_) {
    if (slot->Lane) slot->Lane->Finish(deadline);
    slot->Lane.reset();
  }
  // The context goes once the cards are released, when the wait for changes has been cancelled.
  serviceWorker_->Post([service = service_] { service->ReleaseContext(); });
  serviceWorker_->Finish(deadline);
  serviceWorker_.reset();
  watcher_.reset();
  mailbox_.Clear();
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    if (ReaderTable[i].Templates == &slots_[i]->Templates) ReaderTable[i] = TReaderHead{};
    slots_[i]->Exchanging.reset();
  }
  connection_.Readers.clear();
  connection_.ConnectionState = 0;
  ServiceContext = 0;
}

void DeviceLayer::ConnectService() {
  connection_.InterfaceKind = kInterfacePcsc;
  Raise(connection_.OnBeforeServiceConnection, connection_);
  CallService<std::uint32_t>(
      [](PcscService& service) {
        service.EstablishContext();
        return service.ContextValue();
      },
      [this](const CallOutcome<std::uint32_t>& outcome) {
        if (outcome.Value) return ServiceConnected(*outcome.Value);
        if (outcome.Failure) {
          ReportError("", *outcome.Failure);
        } else {
          ReportGivenUp("", "SCardEstablishContext");
        }
        Raise(connection_.OnServiceNotConnected, connection_);
        watcher_->RetryLater(*serviceWorker_);
        Settled();
      });
}

void DeviceLayer::ServiceConnected(std::uint32_t context) {
  ServiceContext = context;
  connection_.ConnectionState = 1;
  Raise(connection_.OnServiceConnected, connection_);
  Raise(connection_.OnBeforeDevicesList, connection_);
  CallService<std::vector<ReaderState>>(ListedStates,
                                        [this](const CallOutcome<std::vector<ReaderState>>& outcome) {
                                          if (outcome.Value) return ReadersListed(*outcome.Value);
                                          if (outcome.Failure) {
                                            ReportError("", *outcome.Failure);
                                          } else {
                                            ReportGivenUp("", "SCardListReaders");
                                          }
                                          ServiceLost();
                                          Settled();
                                        });
}

void DeviceLayer::ReadersListed(const std::vector<ReaderState>& states) {
  for (const ReaderState& state : states) {
    const int n = LowestFreeEntry();
    if (n >= 0) AddReader(n, state.Name);
  }
  connection_.ConnectionState = 2;
  Raise(connection_.OnDevicesListChanged, connection_,
        static_cast<std::uint32_t>(connection_.Readers.size()));
  connection_.ReloadOnDetectParams();
  ApplyReaders(states);
  // Once the cards this opened are open.
  mailbox_.PostNext([this] { SettleStates(0); });
}

void DeviceLayer::SettleStates(int round) {
  // Each round answers what the layer's own calls changed; a service that keeps changing is left to the
  // watch after a few rounds.
  if (round == 4 || known_.empty()) return StartWatching();
  CallService<std::vector<ReaderState>>(
      [known = known_](PcscService& service) { return FreshStates(service, known); },
      [this, round](const CallOutcome<std::vector<ReaderState>>& outcome) {
        // A failure here is met again by the watch at once, which reports it.
        if (!outcome.Value || outcome.Value->empty()) return StartWatching();
        std::vector<ReaderState> states = *outcome.Value;
        for (ReaderState& state : states) state.CurrentState = WithoutChangeFlag(state.EventState);
        ApplyReaders(states);
        mailbox_.PostNext([this, round] { SettleStates(round + 1); });
      });
}

void DeviceLayer::StartWatching() {
  watcher_->Watch(*serviceWorker_, known_);
  Settled();
}

void DeviceLayer::Settled() {
  if (!settledPending_) return;
  settledPending_ = false;
  Raise(onSettled_);
}

void DeviceLayer::ServiceLost(const EPcscError& failure) {
  ReportError("", failure);
  ServiceLost();
}

void DeviceLayer::ServiceLost() {
  Raise(connection_.OnBeforeServiceDisconnection, connection_);
  // The service has taken the cards with it; their handles (and contexts) are released all the same, and
  // the service's refusal to hear of them is no news.
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    ReaderSlot& slot = Slot(n);
    if (slot.Open) {
      slot.Open = false;
      Lane(n).Post([service = service_, card = slot.Card] {
        try {
          service->Disconnect(card, kLeaveCard);
        } catch (const EPcscError&) {
        }
      });
    }
    if (slot.Lane) AbandonLane(n);
  }
  ClearReaders();
  serviceWorker_->Post([service = service_] { service->ReleaseContext(); });
  ServiceContext = 0;
  connection_.ConnectionState = 0;
  Raise(connection_.OnServiceDisconnected, connection_);
  watcher_->RetryLater(*serviceWorker_);
}

void DeviceLayer::RetryService() {
  // Quietly first: only a service that answers gets the start sequence and its events.
  CallService<bool>(
      [](PcscService& service) {
        try {
          service.EstablishContext();
        } catch (const EPcscError&) {
          return false;
        }
        service.ReleaseContext();
        return true;
      },
      [this](const CallOutcome<bool>& outcome) {
        if (outcome.Value && *outcome.Value) return ConnectService();
        watcher_->RetryLater(*serviceWorker_);
      });
}

void DeviceLayer::ApplyReaders(const std::vector<ReaderState>& readers) {
  const auto listed = [&](const std::string& name) {
    return std::any_of(readers.begin(), readers.end(), [&](const ReaderState& r) { return r.Name == name; });
  };
  // A failure with one reader is reported and does not keep the others from their changes.
  const auto forReader = [this](const std::string& name, const std::function<void()>& change) {
    try {
      change();
    } catch (const std::exception& failure) {
      ReportError(name, 0, failure.what());
    }
  };
  bool listChanged = false;
  const auto beginListChange = [&] {
    if (!listChanged) Raise(connection_.OnBeforeDevicesList, connection_);
    listChanged = true;
  };
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    if (Entry(n).ReaderInUse == 0 || listed(Entry(n).ReaderName)) continue;
    beginListChange();
    forReader(Entry(n).ReaderName, [&] { RemoveReader(n); });
  }
  std::erase_if(ignoredReaders_, [&](const std::string& name) { return !listed(name); });
  for (const ReaderState& reader : readers) {
    if (IndexOf(reader.Name) >= 0) continue;
    const int n = LowestFreeEntry();
    if (n < 0) {
      if (ignoredReaders_.insert(reader.Name).second) {
        ReportError(reader.Name, 0, "More than ten readers: this reader is ignored");
      }
      continue;
    }
    beginListChange();
    forReader(reader.Name, [&] { AddReader(n, reader.Name); });
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
    if (n >= 0) forReader(reader.Name, [&] { ApplyReaderState(n, reader); });
  }
}

void DeviceLayer::AddReader(int n, const std::string& name) {
  std::vector<std::string>& names = connection_.Readers;
  if (names.size() <= static_cast<std::size_t>(n)) names.resize(static_cast<std::size_t>(n) + 1);
  names[static_cast<std::size_t>(n)] = name;
  ReaderSlot& slot = Slot(n);
  if (slot.Lane) AbandonLane(n);
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
  ReaderSlot& slot = Slot(n);
  if (slot.Open) CloseOpenCard(n);
  if (slot.Lane) AbandonLane(n);
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
  ++slot.CardNumber;
}

void DeviceLayer::ApplyReaderState(int n, const ReaderState& state) {
  ReaderSlot& slot = Slot(n);
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
  ShowDeviceState(n);
}

void DeviceLayer::CardArrived(int n) {
  ReaderSlot& slot = Slot(n);
  ++slot.CardNumber;
  slot.Unusable.clear();
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csCardDetected;
  Raise(connection_.OnCardDetected, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
  if ((slot.State & kStateMute) != 0) {
    ReportError(entry.ReaderName, kScardUnresponsiveCard, PcscCodeText(kScardUnresponsiveCard));
    MarkInvalid(n, PcscCodeText(kScardUnresponsiveCard));
  } else if (entry.CurrentParams.AutoOpen) {
    BeginOpen(n, ProtocolMask(entry.CurrentParams.Protocol));
  }
}

void DeviceLayer::CardLeft(int n) {
  ReaderSlot& slot = Slot(n);
  if (slot.Open) CloseOpenCard(n);
  // A call that never came back is left to its worker: the next card gets a fresh one.
  if (slot.GivenUp > 0) AbandonLane(n);
  ++slot.CardNumber;
  slot.Unusable.clear();
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csWaitingForCard;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnWaitingForCard, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
}

void DeviceLayer::MarkInvalid(int n, const std::string& reason) {
  Slot(n).Unusable = reason;
  TReaderHead& entry = Entry(n);
  entry.CardInfo.CardState = csCardInvalid;
  entry.CardInfo.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardInvalid, connection_, entry.ReaderName, entry.CardInfo,
        static_cast<std::uint32_t>(n));
  ShowDeviceState(n);
}

void DeviceLayer::ClearReaders() {
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    TReaderHead& entry = Entry(n);
    if (entry.ReaderInUse == 0) continue;
    entry.CardInfo.CardState = csNoCard;
    entry.CardInfo.ActiveProtocol = -1;
    connection_.ResetCardData(n);
    entry = TReaderHead{};
    Slot(n).State = 0;
    ++Slot(n).CardNumber;
  }
  connection_.Readers.clear();
  known_.clear();
  ignoredReaders_.clear();
}

void DeviceLayer::ShowDeviceState(int n) {
  if (connection_.Monitor == nullptr || Entry(n).ReaderInUse == 0) return;
  const ReaderSlot& slot = Slot(n);
  DeviceState state;
  state.Word = slot.State;
  state.Open = slot.Open;
  state.Exclusive = ShareModeOf(Entry(n).CurrentParams) == kShareExclusive;
  state.NotAnswering = slot.GivenUp > 0;
  state.Unusable = slot.Unusable;
  tessaly::ShowDeviceState(*connection_.Monitor, Entry(n).ReaderName, DeviceStateText(state));
}

void DeviceLayer::ShowCardInMonitor(int n) {
  if (connection_.Monitor == nullptr || Entry(n).ReaderInUse == 0) return;
  ShowCard(*connection_.Monitor, nullptr, Entry(n).ReaderName, &Entry(n).CardInfo, Entry(n).CurrentParams);
}

void DeviceLayer::ReportError(const std::string& source, const EPcscError& failure) {
  ReportError(source, failure.Code(), failure.what());
}

void DeviceLayer::ReportError(const std::string& source, std::uint32_t code, const std::string& message) {
  Raise(connection_.OnError, connection_, source, static_cast<std::int32_t>(code), message);
}

void DeviceLayer::ReportGivenUp(const std::string& source, const char* call) {
  ReportError(source, kScardTimeout,
              std::string(call) + ": no answer within " + DeadlineText() +
                  "; the call was given up and its answer is dropped when it comes");
}

std::string DeviceLayer::DeadlineText() const {
  const auto milliseconds = calls_.Deadline().count();
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  return std::to_string(milliseconds) + " ms";
}

void DeviceLayer::ReportFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EPcscError& pcscFailure) {
    ReportError("", pcscFailure);
  } catch (const std::exception& otherFailure) {
    ReportError("", 0, otherFailure.what());
  }
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

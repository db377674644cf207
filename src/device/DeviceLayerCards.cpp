// The device layer's card operations: opening, closing and resetting a card, and exchanges with it.
#include <algorithm>
#include <utility>

#include "device/ApduText.h"
#include "device/CardInformation.h"
#include "device/DeviceLayer.h"
#include "device/DeviceLayerSlot.h"
#include "kernel/KernelObject.h"
#include "monitor/_VMonitorTree.h"
#include "platform/HexText.h"
#include "platform/RaiseEvent.h"
#include "readers/Vocabulary.h"

namespace tessaly {
namespace {

TReaderHead& Entry(int n) {
  return ReaderTable.at(static_cast<std::size_t>(n));
}

bool IsReaderIndex(int reader) {
  return reader >= 0 && reader < static_cast<int>(kReaderCount);
}

using Connected = std::pair<CardHandle, std::int32_t>;

}  // namespace

Worker& DeviceLayer::Lane(int n) {
  ReaderSlot& slot = Slot(n);
  if (!slot.Lane) {
    slot.Lane = std::make_unique<Worker>();
    slot.LaneNumber = ++lastLaneNumber_;
  }
  return *slot.Lane;
}

void DeviceLayer::AbandonLane(int n) {
  ReaderSlot& slot = Slot(n);
  slot.Lane.reset();
  slot.LaneNumber = 0;
  slot.GivenUp = 0;
}

void DeviceLayer::PostCardCall(int n, std::function<void(PcscService&)> call) {
  Lane(n).Post([this, service = service_, gate = gate_, name = ReaderName(n), call = std::move(call)] {
    try {
      call(*service);
    } catch (const EPcscError& failure) {
      gate->Post(
          [this, name, failure] { mailbox_.Post([this, name, failure] { ReportError(name, failure); }); });
    }
  });
}

void DeviceLayer::PostRequest(int n, std::function<void()> request) {
  mailbox_.Post([this, n, card = Slot(n).CardNumber, request = std::move(request)] {
    if (Slot(n).CardNumber == card) request();
  });
}

void DeviceLayer::PostCardRequest(int n, std::function<void(CardDone done)> request, CardDone done) {
  mailbox_.Post([this, n, card = Slot(n).CardNumber, name = ReaderName(n), request = std::move(request),
                 done = std::move(done)]() mutable {
    if (Slot(n).CardNumber == card) return request(std::move(done));
    if (done) done("The card in " + name + " was taken out before the request was carried out");
  });
}

bool DeviceLayer::Idle() const {
  return mailbox_.Idle() && std::none_of(slots_.begin(), slots_.end(),
                                         [](const auto& slot) { return slot->Lane && slot->Lane->Busy(); });
}

bool DeviceLayer::CardOpen(int reader) const {
  return IsReaderIndex(reader) && Slot(reader).Open;
}

bool DeviceLayer::ExchangeUnderWay(int reader) const {
  return IsReaderIndex(reader) && Slot(reader).Exchanging != nullptr;
}

std::string DeviceLayer::Refusal(int reader) const {
  if (!IsReaderIndex(reader) || Entry(reader).ReaderInUse == 0)
    return "There is no reader " + std::to_string(reader);
  const ReaderSlot& slot = Slot(reader);
  const std::string& name = Entry(reader).ReaderName;
  if (!slot.Open) return "No card is open in " + name;
  if (slot.GivenUp > 0) {
    return "The card in " + name +
           " has not answered its last command: it takes commands again once it answers, or after it is "
           "reset "
           "or taken out";
  }
  if (slot.Exchanging) return "A command to the card in " + name + " is under way";
  if (slot.Reconnecting) return "The card in " + name + " is being reset";
  return {};
}

DeviceLayer::ReaderSlot& DeviceLayer::UsableSlot(int reader) {
  if (const std::string refusal = Refusal(reader); !refusal.empty()) throw EDeviceError(refusal);
  return Slot(reader);
}

void DeviceLayer::CheckClosedCard(int reader) const {
  if (!IsReaderIndex(reader) || Entry(reader).ReaderInUse == 0) {
    throw EDeviceError("There is no reader " + std::to_string(reader));
  }
  const ReaderSlot& slot = Slot(reader);
  const std::string& name = Entry(reader).ReaderName;
  if (slot.Open || slot.Opening) throw EDeviceError("The card in " + name + " is open already");
  if ((slot.State & kStatePresent) == 0) throw EDeviceError("There is no card in " + name);
}

void DeviceLayer::OpenCard(int reader) {
  CheckClosedCard(reader);
  PostRequest(reader,
              [this, reader] { BeginOpen(reader, ProtocolMask(Entry(reader).CurrentParams.Protocol)); });
}

void DeviceLayer::BeginOpen(int n, std::uint32_t protocols, CardDone done) {
  ReaderSlot& slot = Slot(n);
  const std::string name = ReaderName(n);
  if (slot.Open || slot.Opening || (slot.State & kStatePresent) == 0) {
    if (done) done(slot.Open || slot.Opening ? std::string() : "There is no card in " + name);
    return;
  }
  TReaderHead& entry = Entry(n);
  Raise(connection_.OnBeforeReaderOpening, connection_, name, static_cast<std::uint32_t>(n));
  slot.Opening = true;
  CallCard<Connected>(
      n,
      [name, share = ShareModeOf(entry.CurrentParams), protocols](PcscService& service) {
        std::int32_t protocol = 0;
        const CardHandle card = service.Connect(name, share, protocols, protocol);
        return Connected{card, protocol};
      },
      [this, n, done = std::move(done)](const CallOutcome<Connected>& outcome) {
        FinishOpen(n, outcome, done);
      },
      // A card connected after the layer gave up on it has nobody to use it.
      [](PcscService& service, Connected& late) { service.Disconnect(late.first, kLeaveCard); });
}

void DeviceLayer::FinishOpen(int n, const CallOutcome<Connected>& outcome, const CardDone& done) {
  ReaderSlot& slot = Slot(n);
  slot.Opening = false;
  TReaderHead& entry = Entry(n);
  if (!outcome.Value) {
    std::string failure;
    if (outcome.Failure) {
      ReportError(entry.ReaderName, *outcome.Failure);
      failure = outcome.Failure->what();
    } else {
      ReportGivenUp(entry.ReaderName, "SCardConnect");
      failure = "it did not answer within " + DeadlineText();
    }
    MarkInvalid(n, failure);
    if (done) done("The card in " + entry.ReaderName + " cannot be opened: " + failure);
    return;
  }
  slot.Open = true;
  slot.Card = outcome.Value->first;
  slot.Protocol = outcome.Value->second;
  const auto value = static_cast<std::uint32_t>(n);
  Raise(connection_.OnReaderOpened, connection_, entry.ReaderName, value);
  TCardInfo& card = entry.CardInfo;
  card.ATR = HexText(slot.Atr);
  card.ActiveProtocol = slot.Protocol;
  slot.InfoList = CardInformationLines(slot.Atr);
  card.InfoList = &slot.InfoList;
  card.CardState = csCardReady;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardReady, connection_, entry.ReaderName, card, value);
  ShowDeviceState(n);
  if (done) done({});
}

void DeviceLayer::CloseCard(int reader) {
  if (!CardOpen(reader)) throw EDeviceError("No card is open in reader " + std::to_string(reader));
  DisconnectCard(reader, Entry(reader).CurrentParams.ClosingMode);
}

void DeviceLayer::DisconnectCard(int reader, std::int32_t closingMode, CardDone done) {
  if (!CardOpen(reader)) throw EDeviceError("No card is open in reader " + std::to_string(reader));
  if (DispositionToStr(closingMode).empty())
    throw EDeviceError("There is no closing mode " + std::to_string(closingMode));
  PostCardRequest(
      reader,
      [this, reader, closingMode](CardDone done) {
        if (Slot(reader).Open) {
          CloseOpenCard(reader, closingMode);
          CardClosed(reader);
        }
        if (done) done({});
      },
      std::move(done));
}

void DeviceLayer::CloseOpenCard(int n) {
  CloseOpenCard(n, Entry(n).CurrentParams.ClosingMode);
}

void DeviceLayer::CloseOpenCard(int n, std::int32_t closingMode) {
  ReaderSlot& slot = Slot(n);
  const std::string name = ReaderName(n);
  const auto value = static_cast<std::uint32_t>(n);
  Raise(connection_.OnBeforeReaderClosing, connection_, name, value);
  slot.Open = false;
  slot.Reconnecting = false;
  PostCardCall(
      n, [card = slot.Card, closingMode](PcscService& service) { service.Disconnect(card, closingMode); });
  // The release waits behind a call that never came back; the reader goes on with a fresh worker.
  if (slot.GivenUp > 0) AbandonLane(n);
  Raise(connection_.OnReaderClosed, connection_, name, value);
}

void DeviceLayer::CardClosed(int n) {
  // The card is still there: it is a detected card again, and the pages hear so as they hear of others.
  TCardInfo& card = Entry(n).CardInfo;
  card.CardState = csCardDetected;
  card.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardDetected, connection_, ReaderName(n), card, static_cast<std::uint32_t>(n));
  ShowDeviceState(n);
}

void DeviceLayer::ResetCard(int reader, CardDone done) {
  MarkReconnecting(reader);
  PostCardRequest(
      reader,
      [this, reader](CardDone done) {
        BeginReconnect(reader, ProtocolMask(Entry(reader).CurrentParams.Protocol), std::move(done));
      },
      std::move(done));
}

void DeviceLayer::ReconnectCard(int reader, std::int32_t protocol, CardDone done) {
  if (protocol != kProtocolT0 && protocol != kProtocolT1 && protocol != kProtocolAutoDetect)
    throw EDeviceError("A card is connected under T=0 or T=1, not under " + ProtocolToStr(protocol));
  if (CardOpen(reader)) {
    MarkReconnecting(reader);
  } else {
    CheckClosedCard(reader);
  }
  PostCardRequest(
      reader,
      [this, reader, protocols = ProtocolMask(protocol)](CardDone done) {
        if (Slot(reader).Open) return BeginReconnect(reader, protocols, std::move(done));
        BeginOpen(reader, protocols, std::move(done));
      },
      std::move(done));
}

void DeviceLayer::MarkReconnecting(int reader) {
  if (!CardOpen(reader)) throw EDeviceError("No card is open in reader " + std::to_string(reader));
  ReaderSlot& slot = Slot(reader);
  if (slot.Exchanging || slot.Reconnecting) throw EDeviceError(Refusal(reader));
  slot.Reconnecting = true;
}

void DeviceLayer::BeginReconnect(int n, std::uint32_t protocols, CardDone done) {
  ReaderSlot& slot = Slot(n);
  if (!slot.Open) {
    if (done) done("The card in " + ReaderName(n) + " was closed before it could be reset");
    return;
  }
  if (slot.GivenUp > 0) {
    // The handle is held by a call that never came back: the card is released with a reset behind it, and
    // opened afresh.
    CloseOpenCard(n);
    return BeginOpen(n, protocols, std::move(done));
  }
  TReaderHead& entry = Entry(n);
  Raise(connection_.OnBeforeReaderOpening, connection_, entry.ReaderName, static_cast<std::uint32_t>(n));
  CallCard<std::int32_t>(
      n,
      [card = slot.Card, share = ShareModeOf(entry.CurrentParams), protocols](PcscService& service) {
        return service.Reconnect(card, share, protocols, kResetCard);
      },
      [this, n, card = slot.CardNumber, done = std::move(done)](const CallOutcome<std::int32_t>& outcome) {
        FinishReconnect(n, card, outcome, done);
      });
}

void DeviceLayer::FinishReconnect(int n, std::uint64_t card, const CallOutcome<std::int32_t>& outcome,
                                  const CardDone& done) {
  ReaderSlot& slot = Slot(n);
  // A card that has left since has had its mark taken with it, and the next card may carry one of its own.
  const bool sameCard = slot.CardNumber == card;
  if (sameCard) slot.Reconnecting = false;
  const std::string name = ReaderName(n);
  std::string failure;
  if (outcome.Failure) {
    ReportError(name, *outcome.Failure);
    failure = outcome.Failure->what();
  } else if (!outcome.Value) {
    ReportGivenUp(name, "SCardReconnect");
    failure = "The card in " + name + " did not answer within " + DeadlineText();
  } else if (!sameCard || !slot.Open) {
    failure = "The card in " + name + " was closed while it was reset";
  } else {
    slot.Protocol = *outcome.Value;
    Entry(n).CardInfo.ActiveProtocol = *outcome.Value;
    Raise(connection_.OnReaderOpened, connection_, name, static_cast<std::uint32_t>(n));
    ShowDeviceState(n);
    ShowCardInMonitor(n);
  }
  if (done) done(failure);
}

void DeviceLayer::Transmit(int reader, const std::string& hexCommand, ExchangeDone done) {
  const std::vector<std::uint8_t> command = ParseHexBytes(hexCommand);
  Transmit(reader, command, std::move(done));
}

void DeviceLayer::Transmit(int reader, std::span<const std::uint8_t> command, ExchangeDone done) {
  CheckCommandLength(command);
  ReaderSlot& slot = UsableSlot(reader);
  auto exchange = std::make_shared<Exchange>(command, std::move(done));
  slot.Exchanging = exchange;
  mailbox_.Post([this, reader, exchange] {
    if (exchange->Cancelled)
      return EndExchange(reader, exchange, "The command was cancelled before it was sent");
    if (!Slot(reader).Open) {
      return EndExchange(reader, exchange,
                         "The card in " + ReaderName(reader) + " was closed before the command was sent");
    }
    exchange->Started = true;
    SendStep(reader, exchange);
  });
}

void DeviceLayer::CancelExchange(int reader) {
  if (!IsReaderIndex(reader)) return;
  const std::shared_ptr<Exchange> exchange = Slot(reader).Exchanging;
  if (!exchange) return;
  exchange->Cancelled = true;
  if (exchange->Started) calls_.GiveUp(exchange->Call);
}

void DeviceLayer::SendStep(int n, const std::shared_ptr<Exchange>& exchange) {
  const std::string name = ReaderName(n);
  try {
    Raise(connection_.OnBeforeDataSending, connection_, name, static_cast<std::uint32_t>(n));
  } catch (const std::exception& failure) {
    return EndExchange(n, exchange, failure.what());
  }
  const ReaderSlot& slot = Slot(n);
  exchange->Call = CallCard<std::vector<std::uint8_t>>(
      n,
      [card = slot.Card, protocol = slot.Protocol, command = exchange->Completion.Next()](
          PcscService& service) { return service.Transmit(card, protocol, command); },
      [this, n, exchange](const CallOutcome<std::vector<std::uint8_t>>& outcome) {
        StepAnswered(n, exchange, outcome);
      });
}

void DeviceLayer::StepAnswered(int n, const std::shared_ptr<Exchange>& exchange,
                               const CallOutcome<std::vector<std::uint8_t>>& outcome) {
  const std::string name = ReaderName(n);
  if (outcome.Failure) {
    ReportError(name, *outcome.Failure);
    return EndExchange(n, exchange, outcome.Failure->what());
  }
  if (!outcome.Value) {
    if (exchange->Cancelled) {
      ReportError(name, kScardCancelled,
                  "SCardTransmit: given up before the card answered; its answer is dropped");
      return EndExchange(n, exchange, "Cancelled: the card in " + name + " had not answered");
    }
    ReportGivenUp(name, "SCardTransmit");
    return EndExchange(n, exchange, "The card in " + name + " did not answer within " + DeadlineText());
  }
  const std::vector<std::uint8_t>& answer = *outcome.Value;
  const bool more = exchange->Completion.Take(answer);
  try {
    const std::vector<std::uint8_t>& sent = exchange->Completion.Result().Steps.back().Command;
    const std::string_view separator = SeparateHexBytes ? " " : "";
    Raise(connection_.OnDataSent, connection_, name, HexText(sent, separator), HexText(answer, separator));
  } catch (const std::exception& failure) {
    return EndExchange(n, exchange, failure.what());
  }
  if (more && !exchange->Cancelled) return SendStep(n, exchange);
  if (!HasStatusWord(answer)) {
    const std::string failure = "The card gave no status word (an answer of " +
                                std::to_string(answer.size()) + (answer.size() == 1 ? " byte)" : " bytes)");
    ReportError(name, 0, "SCardTransmit: " + failure);
    return EndExchange(n, exchange, failure);
  }
  if (more) return EndExchange(n, exchange, "Cancelled: the card in " + name + " had more to send");
  EndExchange(n, exchange, {});
}

void DeviceLayer::EndExchange(int n, const std::shared_ptr<Exchange>& exchange, std::string failure) {
  if (Slot(n).Exchanging == exchange) Slot(n).Exchanging.reset();
  const ExchangeDone done = std::move(exchange->Done);
  exchange->Done = nullptr;
  if (done) done(ExchangeOutcome{exchange->Completion.Result(), std::move(failure)});
}

}  // namespace tessaly

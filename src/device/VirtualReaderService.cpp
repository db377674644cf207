#include "device/VirtualReaderService.h"

#include <algorithm>

#include "device/PcscError.h"
#include "device/VirtualCard.h"
#include "pcsc/PcscCodes.h"

namespace tessaly {
namespace {

// The virtual service fails the way the system's does: with the PC/SC code and the call it answers.
[[noreturn]] void Fail(std::uint32_t code, const char* call) {
  throw EPcscError(code, call);
}

}  // namespace

VirtualReaderService::VirtualReaderService() : card_(std::make_unique<VirtualCard>()) {
  readers_.push_back(Reader{kReaderName, true, false, 1});
}

VirtualReaderService::~VirtualReaderService() = default;

void VirtualReaderService::CheckContext(const char* call) const {
  if (!running_) Fail(kScardNoService, call);
  if (contextGeneration_ != generation_) Fail(kScardInvalidHandle, call);
}

void VirtualReaderService::EstablishContext() {
  std::lock_guard lock(mutex_);
  Note("SCardEstablishContext");
  if (!running_) Fail(kScardNoService, "SCardEstablishContext");
  contextGeneration_ = generation_;
}

void VirtualReaderService::ReleaseContext() noexcept {
  std::lock_guard lock(mutex_);
  Note("SCardReleaseContext");
  contextGeneration_ = 0;
  connections_.clear();
}

std::uint32_t VirtualReaderService::ContextValue() const {
  std::lock_guard lock(mutex_);
  return contextGeneration_ == 0 ? 0 : 0x7E550000u + contextGeneration_;
}

std::vector<std::string> VirtualReaderService::ListReaders() {
  std::lock_guard lock(mutex_);
  CheckContext("SCardListReaders");
  std::vector<std::string> names;
  for (const Reader& reader : readers_) names.push_back(reader.Name);
  return names;
}

VirtualReaderService::Reader* VirtualReaderService::FindReader(const std::string& name) {
  const auto found =
      std::find_if(readers_.begin(), readers_.end(), [&](const Reader& r) { return r.Name == name; });
  return found == readers_.end() ? nullptr : &*found;
}

std::uint32_t VirtualReaderService::StateWord(const Reader& reader) const {
  std::uint32_t word = reader.Events << 16;
  if (!reader.CardPresent) return word | kStateEmpty;
  word |= kStatePresent;
  if (reader.Mute) word |= kStateMute;
  for (const auto& [handle, connection] : connections_) {
    if (connection.ReaderName != reader.Name || connection.Insertion != reader.Events) continue;
    word |= connection.Exclusive ? kStateExclusive : kStateInUse;
  }
  return word;
}

std::uint32_t VirtualReaderService::PnpStateWord() const {
  return pnpEvents_ << 16;
}

bool VirtualReaderService::FillStates(std::vector<ReaderState>& states) {
  bool changed = false;
  for (ReaderState& state : states) {
    std::uint32_t word = 0;
    state.Atr.clear();
    if (state.Name == kPnpNotificationReader) {
      word = PnpStateWord();
    } else if (const Reader* reader = FindReader(state.Name)) {
      word = StateWord(*reader);
      if (reader->CardPresent && !reader->Mute) state.Atr = card_->Atr();
    } else {
      word = kStateUnknown;
    }
    if (word != (state.CurrentState & ~kStateChanged)) {
      word |= kStateChanged;
      changed = true;
    }
    state.EventState = word;
  }
  return changed;
}

bool VirtualReaderService::GetStatusChange(std::vector<ReaderState>& states, std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  CheckContext("SCardGetStatusChange");
  const std::uint32_t generation = generation_;
  // Only a wait without end is the watch that WaitUntilWatched waits for.
  const bool watch = timeoutMs == kInfiniteWait;
  ++waiting_;
  if (watch) ++watching_;
  struct Leave {
    int& waiting;
    int& watching;
    bool watch;
    ~Leave() {
      --waiting;
      if (watch) --watching;
    }
  } leave{waiting_, watching_, watch};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (!running_ || generation != generation_) Fail(kScardNoService, "SCardGetStatusChange");
    if (cancelled_) {
      cancelled_ = false;
      Fail(kScardCancelled, "SCardGetStatusChange");
    }
    if (FillStates(states)) return true;
    if (watch) {
      waiterVersion_ = version_;
      changed_.notify_all();
      changed_.wait(lock);
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      return FillStates(states);
    }
  }
}

void VirtualReaderService::Cancel() {
  std::lock_guard lock(mutex_);
  CheckContext("SCardCancel");
  // Like the PC/SC services, a cancel reaches only a call already waiting.
  if (waiting_ > 0) cancelled_ = true;
  changed_.notify_all();
}

void VirtualReaderService::PowerCard(std::uint32_t protocol) {
  card_->Reset();
  card_->SetProtocol(protocol);
}

CardHandle VirtualReaderService::Connect(const std::string& readerName, std::int32_t shareMode,
                                         std::uint32_t protocols, std::int32_t& activeProtocol) {
  std::lock_guard lock(mutex_);
  Note("SCardConnect");
  CheckContext("SCardConnect");
  Reader* reader = FindReader(readerName);
  if (reader == nullptr) Fail(kScardUnknownReader, "SCardConnect");
  if (!reader->CardPresent) Fail(kScardNoSmartcard, "SCardConnect");
  if (reader->Mute) Fail(kScardUnresponsiveCard, "SCardConnect");
  if (shareMode == kShareDirect) Fail(kScardProtoMismatch, "SCardConnect");
  const std::uint32_t inUse = StateWord(*reader);
  if ((inUse & kStateExclusive) != 0 || (shareMode == kShareExclusive && (inUse & kStateInUse) != 0)) {
    Fail(kScardSharingViolation, "SCardConnect");
  }
  if ((protocols & (kProtocolMaskT0 | kProtocolMaskT1)) == 0) Fail(kScardProtoMismatch, "SCardConnect");
  const std::uint32_t protocol = (protocols & kProtocolMaskT1) != 0 ? kProtocolMaskT1 : kProtocolMaskT0;
  if ((inUse & kStateInUse) == 0) PowerCard(protocol);
  activeProtocol = static_cast<std::int32_t>(protocol);
  const CardHandle handle = nextHandle_++;
  connections_[handle] = Connection{reader->Name, reader->Events, shareMode == kShareExclusive};
  Changed();
  return handle;
}

VirtualReaderService::Connection& VirtualReaderService::CheckCard(CardHandle card, const char* call) {
  CheckContext(call);
  const auto found = connections_.find(card);
  if (found == connections_.end()) Fail(kScardInvalidHandle, call);
  const Reader* reader = FindReader(found->second.ReaderName);
  if (reader == nullptr) Fail(kScardReaderUnavailable, call);
  if (!reader->CardPresent || reader->Events != found->second.Insertion) Fail(kScardRemovedCard, call);
  return found->second;
}

std::int32_t VirtualReaderService::Reconnect(CardHandle card, std::int32_t shareMode, std::uint32_t protocols,
                                             std::int32_t disposition) {
  std::lock_guard lock(mutex_);
  Note("SCardReconnect(" + std::to_string(disposition) + ")");
  Connection& connection = CheckCard(card, "SCardReconnect");
  if ((protocols & (kProtocolMaskT0 | kProtocolMaskT1)) == 0) Fail(kScardProtoMismatch, "SCardReconnect");
  const std::uint32_t protocol = (protocols & kProtocolMaskT1) != 0 ? kProtocolMaskT1 : kProtocolMaskT0;
  if (disposition != kLeaveCard) PowerCard(protocol);
  connection.Exclusive = shareMode == kShareExclusive;
  Changed();
  return static_cast<std::int32_t>(protocol);
}

void VirtualReaderService::Disconnect(CardHandle card, std::int32_t disposition) {
  std::lock_guard lock(mutex_);
  Note("SCardDisconnect(" + std::to_string(disposition) + ")");
  CheckContext("SCardDisconnect");
  const auto found = connections_.find(card);
  if (found == connections_.end()) Fail(kScardInvalidHandle, "SCardDisconnect");
  const Reader* reader = FindReader(found->second.ReaderName);
  const bool cardStillThere =
      reader != nullptr && reader->CardPresent && reader->Events == found->second.Insertion;
  connections_.erase(found);
  if (cardStillThere && disposition != kLeaveCard) card_->Reset();
  Changed();
}

std::vector<std::uint8_t> VirtualReaderService::Transmit(CardHandle card, std::int32_t protocol,
                                                         std::span<const std::uint8_t> command) {
  std::lock_guard lock(mutex_);
  Note("SCardTransmit");
  CheckCard(card, "SCardTransmit");
  if (protocol != kProtocolT0 && protocol != kProtocolT1) Fail(kScardProtoMismatch, "SCardTransmit");
  return card_->Transmit(command);
}

void VirtualReaderService::Changed() {
  ++version_;
  changed_.notify_all();
}

void VirtualReaderService::InsertCard() {
  std::lock_guard lock(mutex_);
  Reader& reader = readers_.front();
  if (reader.CardPresent && !reader.Mute) return;
  reader.CardPresent = true;
  reader.Mute = false;
  ++reader.Events;
  Changed();
}

void VirtualReaderService::InsertMuteCard() {
  std::lock_guard lock(mutex_);
  Reader& reader = readers_.front();
  reader.CardPresent = true;
  reader.Mute = true;
  ++reader.Events;
  Changed();
}

void VirtualReaderService::RemoveCard() {
  std::lock_guard lock(mutex_);
  Reader& reader = readers_.front();
  if (!reader.CardPresent) return;
  reader.CardPresent = false;
  reader.Mute = false;
  ++reader.Events;
  Changed();
}

void VirtualReaderService::PlugReader(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (FindReader(name) != nullptr) return;
  readers_.push_back(Reader{name, false, false, 0});
  ++pnpEvents_;
  Changed();
}

void VirtualReaderService::UnplugReader(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto removed =
      std::remove_if(readers_.begin(), readers_.end(), [&](const Reader& r) { return r.Name == name; });
  if (removed == readers_.end()) return;
  readers_.erase(removed, readers_.end());
  ++pnpEvents_;
  Changed();
}

void VirtualReaderService::StopService() {
  std::lock_guard lock(mutex_);
  running_ = false;
  connections_.clear();
  Changed();
}

void VirtualReaderService::StartService() {
  std::lock_guard lock(mutex_);
  if (running_) return;
  running_ = true;
  ++generation_;
  Changed();
}

void VirtualReaderService::KeepJournal() {
  std::lock_guard lock(mutex_);
  journalKept_ = true;
}

std::vector<std::string> VirtualReaderService::Journal() const {
  std::lock_guard lock(mutex_);
  return journal_;
}

bool VirtualReaderService::WaitUntilWatched(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return watching_ > 0 && waiterVersion_ == version_; });
}

std::unique_ptr<PcscService> MakeVirtualReaderService() {
  return std::make_unique<VirtualReaderService>();
}

}  // namespace tessaly

#include "ScriptedPcscService.h"

#include "device/PcscError.h"
#include "pcsc/PcscCodes.h"

namespace tessaly::test {

void Latch::Release() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  released_.notify_all();
}

void Latch::Wait(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  released_.wait_for(lock, bound, [this] { return open_; });
}

ScriptedPcscService::ScriptedPcscService() {
  readers_[kReader] = Reader{(1u << 16) | kStatePresent, kAtr};
}

void ScriptedPcscService::Script(const std::string& call, Reaction reaction) {
  std::lock_guard lock(mutex_);
  scripts_[call].push_back(std::move(reaction));
  // A wait under way takes a failure scripted for it at once.
  changed_.notify_all();
}

void ScriptedPcscService::SetReader(const std::string& name, std::uint32_t word,
                                    std::vector<std::uint8_t> atr) {
  std::lock_guard lock(mutex_);
  readers_[name] = Reader{word, std::move(atr)};
  ++version_;
  changed_.notify_all();
}

void ScriptedPcscService::RemoveReader(const std::string& name) {
  std::lock_guard lock(mutex_);
  readers_.erase(name);
  ++version_;
  changed_.notify_all();
}

std::vector<std::string> ScriptedPcscService::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

bool ScriptedPcscService::WaitUntilWatched(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return watching_ > 0 && watchedVersion_ == version_; });
}

Reaction ScriptedPcscService::React(const std::string& call, const std::string& journalEntry) {
  Reaction reaction;
  {
    std::lock_guard lock(mutex_);
    if (!journalEntry.empty()) calls_.push_back(journalEntry);
    auto& script = scripts_[call];
    if (!script.empty()) {
      reaction = std::move(script.front());
      script.pop_front();
    }
  }
  if (reaction.Until) reaction.Until->Wait();
  if (reaction.Code != 0) throw EPcscError(reaction.Code, call);
  return reaction;
}

void ScriptedPcscService::EstablishContext() {
  React("SCardEstablishContext", "SCardEstablishContext");
  std::lock_guard lock(mutex_);
  context_ = true;
}

void ScriptedPcscService::ReleaseContext() noexcept {
  std::lock_guard lock(mutex_);
  calls_.push_back("SCardReleaseContext");
  context_ = false;
}

std::uint32_t ScriptedPcscService::ContextValue() const {
  std::lock_guard lock(mutex_);
  return context_ ? 0x5C0000u : 0;
}

std::vector<std::string> ScriptedPcscService::ListReaders() {
  React("SCardListReaders", "SCardListReaders");
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, reader] : readers_) names.push_back(name);
  return names;
}

bool ScriptedPcscService::FillStates(std::vector<ReaderState>& states) const {
  bool changed = false;
  for (ReaderState& state : states) {
    std::uint32_t word = kStateUnknown;
    state.Atr.clear();
    if (state.Name == kPnpNotificationReader) {
      word = static_cast<std::uint32_t>(readers_.size()) << 16;
    } else if (const auto found = readers_.find(state.Name); found != readers_.end()) {
      word = found->second.Word;
      if ((word & kStatePresent) != 0) state.Atr = found->second.Atr;
    }
    if (word != (state.CurrentState & ~kStateChanged)) {
      word |= kStateChanged;
      changed = true;
    }
    state.EventState = word;
  }
  return changed;
}

bool ScriptedPcscService::GetStatusChange(std::vector<ReaderState>& states, std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  const bool watch = timeoutMs == kInfiniteWait;
  if (watch) ++watching_;
  struct Leave {
    int& watching;
    bool watch;
    ~Leave() {
      if (watch) --watching;
    }
  } leave{watching_, watch};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (auto& script = scripts_["SCardGetStatusChange"]; !script.empty()) {
      const std::uint32_t code = script.front().Code;
      script.pop_front();
      if (code != 0) throw EPcscError(code, "SCardGetStatusChange");
    }
    if (cancels_ > 0) {
      --cancels_;
      throw EPcscError(kScardCancelled, "SCardGetStatusChange");
    }
    if (FillStates(states)) return true;
    if (!watch) return changed_.wait_until(lock, deadline) != std::cv_status::timeout && FillStates(states);
    watchedVersion_ = version_;
    changed_.notify_all();
    changed_.wait(lock);
  }
}

void ScriptedPcscService::Cancel() {
  React("SCardCancel", {});
  std::lock_guard lock(mutex_);
  // Like the real services, a cancel reaches only a wait already begun.
  if (watching_ > 0) ++cancels_;
  changed_.notify_all();
}

CardHandle ScriptedPcscService::Connect(const std::string&, std::int32_t, std::uint32_t protocols,
                                        std::int32_t& activeProtocol) {
  React("SCardConnect", "SCardConnect");
  activeProtocol = (protocols & kProtocolMaskT1) != 0 ? kProtocolT1 : kProtocolT0;
  std::lock_guard lock(mutex_);
  return ++lastCard_;
}

std::int32_t ScriptedPcscService::Reconnect(CardHandle, std::int32_t, std::uint32_t protocols,
                                            std::int32_t disposition) {
  React("SCardReconnect", "SCardReconnect(" + std::to_string(disposition) + ")");
  return (protocols & kProtocolMaskT1) != 0 ? kProtocolT1 : kProtocolT0;
}

void ScriptedPcscService::Disconnect(CardHandle, std::int32_t disposition) {
  React("SCardDisconnect", "SCardDisconnect(" + std::to_string(disposition) + ")");
}

std::vector<std::uint8_t> ScriptedPcscService::Transmit(CardHandle, std::int32_t,
                                                        std::span<const std::uint8_t>) {
  return React("SCardTransmit", "SCardTransmit").Answer;
}

}  // namespace tessaly::test

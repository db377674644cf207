#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/PcscService.h"

namespace tessaly::test {

// Holds the calls that wait for it until the test releases it.
class Latch {
 public:
  void Release();
  // Waits until released; gives up after the bound, so that a test that forgets to release ends anyway.
  void Wait(std::chrono::milliseconds bound = std::chrono::seconds(60));

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool open_ = false;
};

// What one call does: waits for a latch, then fails with a PC/SC code or succeeds (SCardTransmit with the
// answer given).
struct Reaction {
  std::uint32_t Code = 0;
  std::vector<std::uint8_t> Answer = {0x90, 0x00};
  std::shared_ptr<Latch> Until;

  static Reaction Fails(std::uint32_t code) { return Reaction{code, {}, nullptr}; }
  static Reaction Answers(std::vector<std::uint8_t> answer) {
    return Reaction{0, std::move(answer), nullptr};
  }
  static Reaction Waits(std::shared_ptr<Latch> latch, Reaction then) {
    then.Until = std::move(latch);
    return then;
  }
  static Reaction Waits(std::shared_ptr<Latch> latch);
};

inline Reaction Reaction::Waits(std::shared_ptr<Latch> latch) {
  return Waits(std::move(latch), Reaction{});
}

// A PC/SC service whose calls do what the test lists, for the codes and hangs real services give rarely: each
// call takes the next reaction scripted for its name ("SCardTransmit", "SCardConnect", "SCardCancel", ...)
// and, with none left, succeeds. A status-change call that waits takes a failure scripted for it at once
// (its latch is not waited for). The readers and their state words are the test's to set; a status-change
// call waits for a change (or a cancel) as a real service does. Every call may come from any thread.
class ScriptedPcscService final : public PcscService {
 public:
  static constexpr char kReader[] = "Scripted Reader 0";
  static inline const std::vector<std::uint8_t> kAtr{0x3B, 0x02, 0x14, 0x50};

  // One reader holding a card, inserted once.
  ScriptedPcscService();

  void Script(const std::string& call, Reaction reaction);
  // Sets a reader's state word (the event count in its high word) and ATR, adding the reader when new.
  void SetReader(const std::string& name, std::uint32_t word, std::vector<std::uint8_t> atr = kAtr);
  void RemoveReader(const std::string& name);
  // The calls made, in order, with the disposition where they take one ("SCardDisconnect(1)"); the waits
  // for changes and the cancels are left out.
  std::vector<std::string> Calls() const;
  // Blocks until a status-change call without end waits and has seen every change made so far, or the time
  // is up; false then.
  bool WaitUntilWatched(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  void EstablishContext() override;
  void ReleaseContext() noexcept override;
  std::uint32_t ContextValue() const override;
  std::vector<std::string> ListReaders() override;
  bool GetStatusChange(std::vector<ReaderState>& states, std::uint32_t timeoutMs) override;
  void Cancel() override;
  CardHandle Connect(const std::string& reader, std::int32_t shareMode, std::uint32_t protocols,
                     std::int32_t& activeProtocol) override;
  std::int32_t Reconnect(CardHandle card, std::int32_t shareMode, std::uint32_t protocols,
                         std::int32_t disposition) override;
  void Disconnect(CardHandle card, std::int32_t disposition) override;
  std::vector<std::uint8_t> Transmit(CardHandle card, std::int32_t protocol,
                                     std::span<const std::uint8_t> command) override;

 private:
  struct Reader {
    std::uint32_t Word = 0;
    std::vector<std::uint8_t> Atr;
  };

  // Takes the call's next reaction, waits for its latch and raises its failure; returns it. The call goes
  // into the journal as journalEntry, unless that is empty.
  Reaction React(const std::string& call, const std::string& journalEntry);
  bool FillStates(std::vector<ReaderState>& states) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::deque<Reaction>> scripts_;
  std::map<std::string, Reader> readers_;
  std::vector<std::string> calls_;
  std::uint64_t version_ = 0;
  std::uint64_t watchedVersion_ = 0;
  int watching_ = 0;
  int cancels_ = 0;
  bool context_ = false;
  CardHandle lastCard_ = 0;
};

}  // namespace tessaly::test

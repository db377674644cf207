#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/PcscService.h"

namespace tessaly {

class VirtualCard;

// A smart-card service inside this process: one reader holding the virtual card, with controls to insert
// and remove the card, plug in and unplug further (empty) readers, and make the whole service go away and
// come back. It answers like a PC/SC service: codes, reader-state words with an event count in the high
// word, the plug-and-play notification reader. Every operation may be called from any thread.
class VirtualReaderService final : public PcscService {
 public:
  static constexpr char kReaderName[] = "Tessaly Virtual Reader 00 00";

  VirtualReaderService();
  ~VirtualReaderService() override;

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

  // Controls. A mute card is present but answers nothing to a reset.
  void InsertCard();
  void InsertMuteCard();
  void RemoveCard();
  void PlugReader(const std::string& name);
  void UnplugReader(const std::string& name);
  // Stopping ends every context and wakes a waiting status change with SCARD_E_NO_SERVICE.
  void StopService();
  void StartService();

  // From now on keeps the calls a host makes, in order, with their disposition where they take one:
  // "SCardConnect", "SCardReconnect(1)", "SCardTransmit", "SCardDisconnect(1)", "SCardEstablishContext",
  // "SCardReleaseContext". The status-change calls and cancels of the watch are left out. Tests ask for
  // it; the program never does, so that a long session's memory stays flat.
  void KeepJournal();
  std::vector<std::string> Journal() const;

  // Blocks until a status-change call waits in this service and has seen every change made so far, or the
  // time is up; tests use it to know that the watch has posted all it is going to post. False when the time
  // ran out.
  bool WaitUntilWatched(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  struct Reader {
    std::string Name;
    bool CardPresent = false;
    bool Mute = false;
    std::uint32_t Events = 0;  // counts insertions and removals, reported in the high word
  };
  struct Connection {
    std::string ReaderName;
    std::uint32_t Insertion = 0;  // the reader's event count when it connected: a later one means removed
    bool Exclusive = false;
  };

  std::uint32_t StateWord(const Reader& reader) const;
  std::uint32_t PnpStateWord() const;
  Reader* FindReader(const std::string& name);
  // Raises EPcscError unless the service runs and the context is current.
  void CheckContext(const char* call) const;
  Connection& CheckCard(CardHandle card, const char* call);
  // Marks a change for waiting status-change calls.
  void Changed();
  bool FillStates(std::vector<ReaderState>& states);
  void PowerCard(std::uint32_t protocol);
  void Note(std::string call) {
    if (journalKept_) journal_.push_back(std::move(call));
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<VirtualCard> card_;
  std::vector<Reader> readers_;
  std::map<CardHandle, Connection> connections_;
  bool running_ = true;
  std::uint32_t generation_ = 1;         // advances with every start of the service
  std::uint32_t contextGeneration_ = 0;  // generation the context was established in; 0 for none
  std::uint32_t pnpEvents_ = 0;
  std::uint64_t version_ = 0;  // advances with every change a status change reports
  CardHandle nextHandle_ = 0x1000;
  int waiting_ = 0;
  int watching_ = 0;
  std::uint64_t waiterVersion_ = 0;
  bool cancelled_ = false;
  bool journalKept_ = false;
  std::vector<std::string> journal_;
};

}  // namespace tessaly

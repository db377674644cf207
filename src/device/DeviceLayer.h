#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "device/AwaitedCalls.h"
#include "device/CardExchange.h"
#include "device/HostThread.h"
#include "device/PcscService.h"
#include "device/SerialMailbox.h"

namespace tessaly {

class StatusWatcher;
class TTemplatesObject;
class Worker;

// Drives the connection from a PC/SC service: the start sequence, readers coming and going, cards arriving
// and leaving, APDU exchanges, the loss and return of the service.
//
// Threads: no PC/SC call runs on the host's thread. The service's calls (context, listing, the wait for
// changes) run on one worker, each reader's card calls (connect, reconnect, disconnect, transmit) on a worker
// of the reader's own, so that a card that does not answer holds only its own reader. Everything that
// touches the connection, the kernel or the reader table runs on the host's thread, one task at a time
// (SerialMailbox). Every awaited call has a deadline; closing never waits longer than the stop budget.
//
// The layer owns each reader's templates object and card-information list.
class DeviceLayer {
 public:
  // Card calls that take longer are given up: the exchange (or opening) fails, and the reader refuses
  // further commands until the late call has returned or the card has left.
  static constexpr std::chrono::milliseconds kCallDeadline{30000};
  // Stop returns within this time, whatever a card or the service does.
  static constexpr std::chrono::milliseconds kStopBudget{1500};

  DeviceLayer(TConnection& connection, std::unique_ptr<PcscService> service, HostThread host);
  ~DeviceLayer();
  DeviceLayer(const DeviceLayer&) = delete;
  DeviceLayer& operator=(const DeviceLayer&) = delete;

  // Runs the start sequence, then watches the service for changes.
  void Start();
  // Ends the watch, releases every open card with its closing mode and then the context, where the service
  // still answers within the stop budget; threads still stuck in a call after it are let go (see Worker).
  // Raises no event; the reader table no longer points into the layer afterwards.
  void Stop();
  void SetCallDeadline(std::chrono::milliseconds deadline) { calls_.SetDeadline(deadline); }

  // reader is the reader-table index 0 to 9. Each raises EDeviceError when the request cannot be carried out
  // as things stand (no such reader, no card to open, no open card, a card that has not answered its last
  // call); otherwise it is carried out in turn and its result comes through the connection's events.
  // done, when given, runs on the host's thread once the operation has ended (unless the layer stops first),
  // also when it came to nothing because the card changed in between.
  void OpenCard(int reader);
  // Releases the open card with the reader's closing mode.
  void CloseCard(int reader);
  // Releases the open card with the closing mode given (kLeaveCard to kEjectCard).
  void DisconnectCard(int reader, std::int32_t closingMode, CardDone done = {});
  // A warm reset: reconnects the open card with a reset, under the reader's preferred protocol.
  void ResetCard(int reader, CardDone done = {});
  // Connects the card afresh under the protocol given (kProtocolT0, kProtocolT1, or kProtocolAutoDetect for
  // whichever the card offers): an open card is reconnected with a warm reset, a closed one is opened. Until
  // a reconnection has ended, the card takes no command.
  void ReconnectCard(int reader, std::int32_t protocol, CardDone done = {});
  bool CardOpen(int reader) const;
  // The reason the reader refuses commands now, or an empty text when it takes them.
  std::string Refusal(int reader) const;

  // Sends the command to the open card, completing T=0 answers; every physical exchange raises its own
  // OnBeforeDataSending and OnDataSent. EDeviceError for a command refused before anything is sent. done
  // runs on the host's thread once, unless the layer stops first: with the whole answer, or with the reason
  // there is none (the service failed, the card gave no status word, the exchange was given up), which is
  // also raised as an OnError.
  void Transmit(int reader, std::span<const std::uint8_t> command, ExchangeDone done);
  // The command in hexadecimal digits, blanks allowed.
  void Transmit(int reader, const std::string& hexCommand, ExchangeDone done);
  // Gives up the reader's exchange under way, as its deadline would; nothing when none is under way.
  void CancelExchange(int reader);
  bool ExchangeUnderWay(int reader) const;

  // Whether nothing is under way: no task waits or runs, no call is awaited, and no reader's worker has a
  // call still to make.
  bool Idle() const;

  // Raised on the host's thread once the start sequence and every change it caused are handled.
  void SetOnSettled(std::function<void()> handler);

 private:
  struct ReaderSlot;
  struct Exchange;

  // The start sequence, in stages: each awaits a call of the service's worker.
  void ConnectService();
  void ServiceConnected(std::uint32_t context);
  void ReadersListed(const std::vector<ReaderState>& states);
  // Applies fresh states until the service reports no further change, so that the states handed to the
  // watch include what the layer's own calls changed (a card opened is in use).
  void SettleStates(int round);
  void StartWatching();
  void Settled();
  void ServiceLost(const EPcscError& failure);
  void ServiceLost();
  void RetryService();

  void ApplyReaders(const std::vector<ReaderState>& readers);
  void AddReader(int n, const std::string& name);
  void RemoveReader(int n);
  void ApplyReaderState(int n, const ReaderState& state);
  void CardArrived(int n);
  void CardLeft(int n);
  void MarkInvalid(int n, const std::string& reason);
  void ClearReaders();

  // Raises EDeviceError unless the reader holds a card that is present and neither open nor opening.
  void CheckClosedCard(int reader) const;
  // Raises EDeviceError unless the open card may be reconnected now; then marks it as being reconnected.
  void MarkReconnecting(int reader);
  // A request carried out in turn for the card in the reader now; when that card has gone by then, done
  // hears so and the request is dropped.
  void PostCardRequest(int n, std::function<void(CardDone done)> request, CardDone done);
  // protocols is a mask of T=0 and T=1 (see ProtocolMask).
  void BeginOpen(int n, std::uint32_t protocols, CardDone done = {});
  void FinishOpen(int n, const CallOutcome<std::pair<CardHandle, std::int32_t>>& outcome,
                  const CardDone& done);
  void BeginReconnect(int n, std::uint32_t protocols, CardDone done);
  void FinishReconnect(int n, std::uint64_t card, const CallOutcome<std::int32_t>& outcome,
                       const CardDone& done);
  // Releases the open card of reader n with the closing mode given (by default its own), between the two
  // closing events. The release runs on the reader's worker after whatever it runs now; its failure is
  // reported when it comes.
  void CloseOpenCard(int n);
  void CloseOpenCard(int n, std::int32_t closingMode);
  void CardClosed(int n);
  void SendStep(int n, const std::shared_ptr<Exchange>& exchange);
  void StepAnswered(int n, const std::shared_ptr<Exchange>& exchange,
                    const CallOutcome<std::vector<std::uint8_t>>& outcome);
  void EndExchange(int n, const std::shared_ptr<Exchange>& exchange, std::string failure);

  // A card call on the reader's worker; a call given up keeps the reader refusing commands until it ends.
  template <typename Result>
  AwaitedCalls::Id CallCard(int n, std::function<Result(PcscService&)> call,
                            std::function<void(const CallOutcome<Result>&)> then,
                            std::function<void(PcscService&, Result&)> lateCleanUp = {});
  template <typename Result>
  void CallService(std::function<Result(PcscService&)> call,
                   std::function<void(const CallOutcome<Result>&)> then);
  // A card call whose result nobody awaits: it runs after whatever the reader's worker runs now, and its
  // failure is reported when it comes.
  void PostCardCall(int n, std::function<void(PcscService&)> call);

  // The reader's worker, made when first needed.
  Worker& Lane(int n);
  // Lets the reader's worker go with what it runs: the reader takes new calls on a fresh worker.
  void AbandonLane(int n);
  // A request carried out in turn: it does nothing when the reader has changed in between.
  void PostRequest(int n, std::function<void()> request);
  // Raises EDeviceError with the reason the reader refuses a command now.
  ReaderSlot& UsableSlot(int reader);
  ReaderSlot& Slot(int n) const;

  void ShowDeviceState(int n);
  // Shows the card's protocol, ATR and information anew, after a change no card event reports.
  void ShowCardInMonitor(int n);
  // OnError with the failing call and the PC/SC code, or with the code's text alone.
  void ReportError(const std::string& source, const EPcscError& failure);
  void ReportError(const std::string& source, std::uint32_t code, const std::string& message);
  void ReportGivenUp(const std::string& source, const char* call);
  // The call deadline in words: "30 s".
  std::string DeadlineText() const;
  void ReportFailure(std::exception_ptr failure);
  int IndexOf(const std::string& name) const;
  int LowestFreeEntry() const;
  std::string ReaderName(int n) const;

  TConnection& connection_;
  std::shared_ptr<PcscService> service_;
  HostThread host_;
  std::function<void()> onSettled_;
  std::array<std::unique_ptr<ReaderSlot>, kReaderCount> slots_;
  // The last states of every reader the service lists, the ignored ones included: what the watch starts
  // from.
  std::vector<ReaderState> known_;
  // Readers beyond the ten entries, reported once each.
  std::set<std::string> ignoredReaders_;
  bool started_ = false;
  bool settledPending_ = false;
  // A gate of its own for each run, so that tasks left over from an earlier run stay closed.
  std::shared_ptr<HostGate> gate_;
  SerialMailbox mailbox_;
  AwaitedCalls calls_;
  std::uint64_t lastLaneNumber_ = 0;
  std::unique_ptr<Worker> serviceWorker_;
  std::unique_ptr<StatusWatcher> watcher_;
};

}  // namespace tessaly

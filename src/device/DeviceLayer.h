#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "device/CardExchange.h"
#include "device/PcscService.h"

namespace tessaly {

class StatusWatcher;
class TTemplatesObject;

// Posts a task to the host's (GUI) thread; may be called from any thread.
using Dispatcher = std::function<void(std::function<void()>)>;

// Drives the connection from a PC/SC service: the start sequence, readers coming and going, cards arriving
// and leaving, APDU exchanges, the loss and return of the service. A worker thread waits for the service's
// changes and posts each to the host's thread; everything that touches the connection, the kernel or the
// reader table runs there. The layer owns each reader's templates object and card-information list.
class DeviceLayer {
 public:
  DeviceLayer(TConnection& connection, std::unique_ptr<PcscService> service, Dispatcher dispatch);
  ~DeviceLayer();
  DeviceLayer(const DeviceLayer&) = delete;
  DeviceLayer& operator=(const DeviceLayer&) = delete;

  // Runs the start sequence, then lets the worker wait for changes.
  void Start();
  // Cancels the wait, joins the worker, disconnects every open card with its closing mode and releases the
  // context, in that order. Raises no event; the reader table no longer points into the layer afterwards.
  void Stop();

  // reader is the reader-table index 0 to 9. EDeviceError when the reader holds no card to open or no open
  // card; a card that cannot be opened is reported through the connection's events.
  void OpenCard(int reader);
  void CloseCard(int reader);
  void ResetCard(int reader);
  bool CardOpen(int reader) const;

  // Sends the command to the open card, completing T=0 answers; every physical exchange raises its own
  // OnDataSent. EDeviceError for a command refused before anything is sent, EPcscError when the service
  // fails.
  ExchangeResult Transmit(int reader, std::span<const std::uint8_t> command);
  // The command in hexadecimal digits, blanks allowed.
  ExchangeResult Transmit(int reader, const std::string& hexCommand);

  // Raised on the host's thread once the start sequence and every change it caused are handled.
  void SetOnSettled(std::function<void()> handler);

 private:
  struct ReaderSlot;

  // Tasks the worker posts run only while the layer is started.
  void Post(std::function<void()> task);
  bool RunStartSequence();
  bool ConnectService();
  bool ListReaders();
  // Applies fresh states until the service reports no further change, so that the states handed to the
  // worker include what the layer's own calls changed (a card opened is in use).
  void SettleStates();
  void ApplyReaders(const std::vector<ReaderState>& readers);
  void AddReader(int n, const std::string& name);
  void RemoveReader(int n);
  void ApplyReaderState(int n, const ReaderState& state);
  void CardArrived(int n);
  void CardLeft(int n);
  void MarkInvalid(int n, std::uint32_t reason);
  // Disconnects the open card of reader n with its closing mode, between the two closing events.
  void CloseOpenCard(int n);
  void ServiceLost(std::uint32_t code);
  void RetryService();
  void ClearReaders();
  // OnError with the PC/SC code and its text.
  void ReportError(const std::string& source, std::uint32_t code);
  int IndexOf(const std::string& name) const;
  int LowestFreeEntry() const;
  ReaderSlot& OpenSlot(int reader);

  TConnection& connection_;
  std::unique_ptr<PcscService> service_;
  Dispatcher dispatch_;
  std::function<void()> onSettled_;
  std::array<std::unique_ptr<ReaderSlot>, kReaderCount> slots_;
  // The last states of every reader the service lists, the ignored ones included: what the worker watches.
  std::vector<ReaderState> known_;
  // Readers beyond the ten entries, reported once each.
  std::set<std::string> ignoredReaders_;
  // Cleared by Stop; tasks still queued at the host then do nothing.
  std::shared_ptr<bool> started_ = std::make_shared<bool>(false);
  std::unique_ptr<StatusWatcher> watcher_;
};

}  // namespace tessaly

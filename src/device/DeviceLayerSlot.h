// The device layer's own state per reader and the way it calls workers; used by the layer's sources only.
#pragma once

#include "device/DeviceLayer.h"
#include "device/Worker.h"
#include "pcsc/PcscCodes.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {

inline std::int32_t ShareModeOf(const TConnectParams& params) {
  return params.ShareMode == 0 ? kShareShared : params.ShareMode;
}

// What the layer keeps per reader-table entry besides the entry itself.
struct DeviceLayer::ReaderSlot {
  TTemplatesObject Templates;
  std::vector<std::string> InfoList;
  // The reader's last state word without the change flag; 0 until its first state is known.
  std::uint32_t State = 0;
  std::vector<std::uint8_t> Atr;
  // Advances whenever a card arrives or leaves: a request made for an earlier card does nothing.
  std::uint64_t CardNumber = 0;
  bool Opening = false;
  bool Open = false;
  // From the request of a reset or reconnection of the open card until it has ended.
  bool Reconnecting = false;
  CardHandle Card = 0;
  std::int32_t Protocol = 0;
  // Why the card in the reader cannot be used, while it cannot.
  std::string Unusable;
  std::unique_ptr<Worker> Lane;
  std::uint64_t LaneNumber = 0;
  // Calls given up that still run on Lane: until they end, the card takes no further command.
  int GivenUp = 0;
  std::shared_ptr<Exchange> Exchanging;
};

// One command on its way through its physical exchanges.
struct DeviceLayer::Exchange {
  explicit Exchange(std::span<const std::uint8_t> command, ExchangeDone done)
      : Completion(command), Done(std::move(done)) {}

  ExchangeCompletion Completion;
  ExchangeDone Done;
  AwaitedCalls::Id Call = 0;
  bool Started = false;
  bool Cancelled = false;
};

template <typename Result>
AwaitedCalls::Id DeviceLayer::CallCard(int n, std::function<Result(PcscService&)> call,
                                       std::function<void(const CallOutcome<Result>&)> then,
                                       std::function<void(PcscService&, Result&)> lateCleanUp) {
  Worker& lane = Lane(n);
  const std::uint64_t laneNumber = Slot(n).LaneNumber;
  const auto onThisLane = [this, n, laneNumber] { return Slot(n).LaneNumber == laneNumber; };
  std::function<void(Result&)> cleanUp;
  if (lateCleanUp)
    cleanUp = [service = service_, lateCleanUp](Result& result) { lateCleanUp(*service, result); };
  return calls_.Start<Result>(
      lane, [service = service_, call] { return call(*service); },
      [this, n, onThisLane, then](const CallOutcome<Result>& outcome) {
        if (outcome.GivenUp && onThisLane()) {
          ++Slot(n).GivenUp;
          ShowDeviceState(n);
        }
        then(outcome);
      },
      std::move(cleanUp),
      [this, n, onThisLane] {
        if (!onThisLane() || Slot(n).GivenUp == 0) return;
        --Slot(n).GivenUp;
        ShowDeviceState(n);
      });
}

template <typename Result>
void DeviceLayer::CallService(std::function<Result(PcscService&)> call,
                              std::function<void(const CallOutcome<Result>&)> then) {
  calls_.Start<Result>(
      *serviceWorker_, [service = service_, call] { return call(*service); }, std::move(then));
}

}  // namespace tessaly

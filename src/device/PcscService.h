#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pcsc/PcscStates.h"

namespace tessaly {

// One entry of a status-change call: the caller sets Name and CurrentState, the call fills EventState and
// Atr.
struct ReaderState {
  std::string Name;
  std::uint32_t CurrentState = kStateUnaware;
  std::uint32_t EventState = 0;
  std::vector<std::uint8_t> Atr;
};

using CardHandle = std::uint64_t;

// The PC/SC calls the device layer needs. Every failure raises EPcscError. The context is established by
// the service object and released by ReleaseContext or its destructor. GetStatusChange and Cancel may be
// called from another thread than the rest; Cancel wakes a waiting GetStatusChange.
class PcscService {
 public:
  virtual ~PcscService() = default;

  virtual void EstablishContext() = 0;
  // Never fails; a context already gone is simply forgotten.
  virtual void ReleaseContext() noexcept = 0;
  // A non-zero value naming the context while one is held, 0 otherwise.
  virtual std::uint32_t ContextValue() const = 0;

  // Empty when no reader is attached.
  virtual std::vector<std::string> ListReaders() = 0;
  // Fills EventState and Atr of every entry; returns false when the timeout passed with no change.
  virtual bool GetStatusChange(std::vector<ReaderState>& states, std::uint32_t timeoutMs) = 0;
  virtual void Cancel() = 0;

  // protocols is a mask of kProtocolMaskT0 and kProtocolMaskT1; returns the handle and sets the protocol in
  // use.
  virtual CardHandle Connect(const std::string& reader, std::int32_t shareMode, std::uint32_t protocols,
                             std::int32_t& activeProtocol) = 0;
  // Reconnects with the given disposition (kResetCard resets the card); returns the protocol in use.
  virtual std::int32_t Reconnect(CardHandle card, std::int32_t shareMode, std::uint32_t protocols,
                                 std::int32_t disposition) = 0;
  virtual void Disconnect(CardHandle card, std::int32_t disposition) = 0;
  virtual std::vector<std::uint8_t> Transmit(CardHandle card, std::int32_t protocol,
                                             std::span<const std::uint8_t> command) = 0;
};

// The system's smart-card service: pcsc-lite, or winscard on Windows.
std::unique_ptr<PcscService> MakeSystemPcscService();
// The PC/SC library the program was built with, "pcsc-lite 1.9.9" (pcsc-lite tells its version to the
// build only), or Windows' winscard.
std::string PcscLibraryText();
// A service of its own in this process with one reader holding the virtual card.
std::unique_ptr<PcscService> MakeVirtualReaderService();

}  // namespace tessaly

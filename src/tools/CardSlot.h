#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "device/VirtualCard.h"
#include "tools/ReaderClaim.h"
#include "tools/VpcdLink.h"

namespace tessaly {

// The virtual card in the virtual reader's slot: inserted means connected to the driver, removed means
// the connection is closed. Nothing here waits: connecting goes on while the caller polls Descriptor()
// for Events(), and a card that should be inserted but is not tries again when Timeout() has passed.
class CardSlot {
 public:
  using Clock = std::chrono::steady_clock;

  // host must be an IPv4 address (DriverAddress).
  CardSlot(std::string host, std::uint16_t port, std::uint32_t protocol, std::ostream& status,
           std::ostream& errors);

  void Insert();
  void Remove();
  bool IsInserted() const { return link_ && link_->IsConnected(); }
  bool IsConnecting() const { return link_ && !link_->IsConnected(); }
  int Descriptor() const { return link_ ? link_->Descriptor() : -1; }
  short Events() const;
  // How long the caller may wait before calling Tick, or nothing when only Events() matter.
  std::optional<Clock::duration> Timeout() const;
  // Handles what poll() saw on the descriptor, and tries again when it is time to.
  void Tick(short revents);

 private:
  void Attempt();
  void Connected();
  void Serve();
  void Answer(const std::vector<std::uint8_t>& message);
  void Waiting(const std::string& reason);
  void Lost(const std::string& reason);

  std::string host_;
  std::uint16_t port_;
  sockaddr_in driver_;
  VirtualCard card_;
  std::optional<ReaderClaim> claim_;
  std::optional<VpcdLink> link_;
  bool wantInserted_ = false;
  bool waitReported_ = false;
  Clock::time_point nextAttempt_;
  std::ostream& status_;
  std::ostream& errors_;
};

}  // namespace tessaly

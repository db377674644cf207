#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "device/VirtualCard.h"
#include "tools/VpcdLink.h"

namespace tessaly {

// The virtual card in the virtual reader's slot: inserted means connected to the driver, removed means
// the connection is closed. A lost connection is taken up again while the card should be inserted.
class CardSlot {
 public:
  CardSlot(std::string host, std::uint16_t port, std::uint32_t protocol, std::ostream& status,
           std::ostream& errors);

  void Insert();
  void Remove();
  bool WantsInserted() const { return wantInserted_; }
  bool IsInserted() const { return link_.has_value(); }
  int Descriptor() const { return link_ ? link_->Descriptor() : -1; }
  // Answers one message from the driver; a closed connection reports the card removed.
  void Serve();
  // One connection attempt when the card should be inserted but is not.
  void Reconnect();

 private:
  void Answer(const std::vector<std::uint8_t>& message);
  void Lost(const std::string& reason);

  std::string host_;
  std::uint16_t port_;
  VirtualCard card_;
  std::optional<VpcdLink> link_;
  bool wantInserted_ = false;
  bool waitReported_ = false;
  std::ostream& status_;
  std::ostream& errors_;
};

}  // namespace tessaly

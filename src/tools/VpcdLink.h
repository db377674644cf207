#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/PosixCall.h"

namespace tessaly {

// The card side of a connection to the vsmartcard virtual reader driver (vpcd): every message is a
// two-byte big-endian length followed by that many bytes.
class VpcdLink {
 public:
  // Connects to the driver's port; raises EPosixCallError when nothing listens there.
  VpcdLink(const std::string& host, std::uint16_t port);
  ~VpcdLink();
  VpcdLink(const VpcdLink&) = delete;
  VpcdLink& operator=(const VpcdLink&) = delete;

  int Descriptor() const { return socket_; }
  // Nothing when the driver has closed the connection.
  std::optional<std::vector<std::uint8_t>> Receive();
  void Send(std::span<const std::uint8_t> message);

 private:
  bool ReceiveExactly(std::span<std::uint8_t> buffer);
  void AcknowledgeQuickly();

  int socket_ = -1;
};

}  // namespace tessaly

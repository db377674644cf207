#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/PosixCall.h"

namespace tessaly {

// The driver's address: host must be an IPv4 address in dotted form ("127.0.0.1"); nothing otherwise.
std::optional<sockaddr_in> DriverAddress(const std::string& host, std::uint16_t port);

// The card side of a connection to the vsmartcard virtual reader driver (vpcd): every message is a
// two-byte big-endian length followed by that many bytes.
class VpcdLink {
 public:
  // Starts connecting without waiting for the driver, whose accept queue may be full for minutes: the
  // descriptor turns writable when the attempt has an outcome, which FinishConnecting then tells. Raises
  // EPosixCallError when the attempt fails at once (nothing listens on a local port).
  explicit VpcdLink(const sockaddr_in& driver);
  ~VpcdLink();
  VpcdLink(const VpcdLink&) = delete;
  VpcdLink& operator=(const VpcdLink&) = delete;

  int Descriptor() const { return socket_; }
  bool IsConnected() const { return connected_; }
  // Once the descriptor is writable: raises EPosixCallError when the driver could not be reached.
  void FinishConnecting();
  // Nothing when the driver has closed the connection.
  std::optional<std::vector<std::uint8_t>> Receive();
  void Send(std::span<const std::uint8_t> message);

 private:
  void Connected();
  bool ReceiveExactly(std::span<std::uint8_t> buffer);
  void AcknowledgeQuickly();

  int socket_ = -1;
  bool connected_ = false;
};

}  // namespace tessaly

#include "tools/VpcdLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tessaly {
namespace {

void SetOption(int socket, int level, int option, int value) {
  CheckPosix(::setsockopt(socket, level, option, &value, sizeof value), "setsockopt");
}

}  // namespace

std::optional<sockaddr_in> DriverAddress(const std::string& host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return std::nullopt;
  return address;
}

VpcdLink::VpcdLink(const sockaddr_in& driver) {
  socket_ = static_cast<int>(
      CheckPosix(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0), "socket"));
  try {
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&driver), sizeof driver) == 0) {
      Connected();
    } else if (errno != EINPROGRESS) {
      throw EPosixCallError("connect", errno);
    }
  } catch (...) {
    ::close(socket_);
    throw;
  }
}

void VpcdLink::FinishConnecting() {
  int error = 0;
  socklen_t length = sizeof error;
  CheckPosix(::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length), "getsockopt");
  if (error != 0) throw EPosixCallError("connect", error);
  Connected();
}

// Messages are read whole once poll() has seen their start, as the driver writes each at once.
void VpcdLink::Connected() {
  const int flags = static_cast<int>(CheckPosix(::fcntl(socket_, F_GETFL), "fcntl"));
  CheckPosix(::fcntl(socket_, F_SETFL, flags & ~O_NONBLOCK), "fcntl");
  // The driver writes a length and its bytes in two writes; without these, delayed acknowledgements
  // hold every APDU for about 45 ms.
  SetOption(socket_, IPPROTO_TCP, TCP_NODELAY, 1);
  AcknowledgeQuickly();
  connected_ = true;
}

VpcdLink::~VpcdLink() {
  ::close(socket_);
}

// Linux turns quick acknowledgements off again on its own, so they are asked for after every read.
void VpcdLink::AcknowledgeQuickly() {
  SetOption(socket_, IPPROTO_TCP, TCP_QUICKACK, 1);
}

bool VpcdLink::ReceiveExactly(std::span<std::uint8_t> buffer) {
  std::size_t received = 0;
  while (received < buffer.size()) {
    const long count = ::recv(socket_, buffer.data() + received, buffer.size() - received, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno == ECONNRESET) return false;
    if (CheckPosix(count, "recv") == 0) return false;
    AcknowledgeQuickly();
    received += static_cast<std::size_t>(count);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> VpcdLink::Receive() {
  std::uint8_t header[2];
  if (!ReceiveExactly(header)) return std::nullopt;
  std::vector<std::uint8_t> message((std::size_t{header[0]} << 8) | header[1]);
  if (!ReceiveExactly(message)) return std::nullopt;
  return message;
}

void VpcdLink::Send(std::span<const std::uint8_t> message) {
  if (message.size() > 0xFFFF)
    throw ETessalyError("a message to the reader driver holds at most 65535 bytes");
  std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(message.size() >> 8),
                                  static_cast<std::uint8_t>(message.size())};
  frame.insert(frame.end(), message.begin(), message.end());
  for (std::size_t sent = 0; sent < frame.size();) {
    const long count = ::send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    sent += static_cast<std::size_t>(CheckPosix(count, "send"));
  }
}

}  // namespace tessaly

#include "tools/ReaderClaim.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tools/PosixCall.h"

namespace tessaly {

std::optional<ReaderClaim> ReaderClaim::Take(const std::string& host, std::uint16_t port) {
  const std::string name = "tessaly-virtual-card " + host + ":" + std::to_string(port);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // A leading NUL puts the name in the abstract space: no file, and nothing left behind.
  std::memcpy(address.sun_path + 1, name.data(), std::min(name.size(), sizeof address.sun_path - 1));
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  ReaderClaim claim(static_cast<int>(CheckPosix(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0), "socket")));
  if (::bind(claim.socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0) return claim;
  if (errno == EADDRINUSE) return std::nullopt;
  throw EPosixCallError("bind", errno);
}

ReaderClaim::ReaderClaim(ReaderClaim&& other) noexcept : socket_(std::exchange(other.socket_, -1)) {}

ReaderClaim& ReaderClaim::operator=(ReaderClaim&& other) noexcept {
  std::swap(socket_, other.socket_);
  return *this;
}

ReaderClaim::~ReaderClaim() {
  if (socket_ >= 0) ::close(socket_);
}

}  // namespace tessaly

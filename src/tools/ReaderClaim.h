#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

// One program's claim on a reader of the driver (its host and port), so that a second card for the same
// reader can be told that the reader holds one already: the driver itself keeps a second connection
// waiting unanswered in its queue. The claim is a name in the system's abstract local socket space, which
// the system frees when the process ends, however it ends.
class ReaderClaim {
 public:
  // Nothing when another process holds the claim.
  static std::optional<ReaderClaim> Take(const std::string& host, std::uint16_t port);
  ~ReaderClaim();
  ReaderClaim(ReaderClaim&& other) noexcept;
  ReaderClaim& operator=(ReaderClaim&& other) noexcept;
  ReaderClaim(const ReaderClaim&) = delete;
  ReaderClaim& operator=(const ReaderClaim&) = delete;

 private:
  explicit ReaderClaim(int socket) : socket_(socket) {}

  int socket_ = -1;
};

}  // namespace tessaly

#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "ChildProcess.h"
#include "TempDir.h"

namespace tessaly::test {

// A pcscd of the test's own, so that it can be killed and restarted without touching one that someone else
// runs: it lives in a mount namespace of its own where /run/pcscd is a folder of this process, and its
// vsmartcard virtual reader listens on a free port. This process's PC/SC calls reach it because
// PCSCLITE_CSOCK_NAME points into that folder (set before the first PC/SC call; pcsc-lite reads it once).
class PrivatePcscd {
 public:
  // Why no private pcscd can be started here, or nothing when it can.
  static std::optional<std::string> WhyUnavailable();

  PrivatePcscd();
  ~PrivatePcscd();

  // Starts the daemon and waits until it lists the virtual reader.
  void Start();
  // Ends the daemon with SIGKILL, as a crash would.
  void Kill();
  // Stops the daemon (SIGSTOP) so that it answers nothing, and lets it go on (SIGCONT).
  void Freeze();
  void Thaw();
  std::uint16_t CardPort() const { return port_; }
  // The first of the driver's two readers.
  static constexpr const char* kReaderName = "Virtual PCD 00 00";

 private:
  void WaitUntilAnswering(std::chrono::milliseconds timeout);

  TempDir config_;
  std::uint16_t port_;
  std::optional<ChildProcess> daemon_;
};

}  // namespace tessaly::test

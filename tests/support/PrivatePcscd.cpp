#include "PrivatePcscd.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "device/PcscService.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;

// The folder that stands in for /run/pcscd; one per process, since pcsc-lite reads the socket name once.
// It is removed when the process ends.
const std::filesystem::path& RunFolder() {
  struct Folder {
    std::filesystem::path Path;
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(Path, ignored);
    }
  };
  static const Folder folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("tessaly-pcscd-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    ::setenv("PCSCLITE_CSOCK_NAME", (path / "pcscd.comm").c_str(), 1);
    return Folder{path};
  }();
  return folder.Path;
}

bool PortIsFree(std::uint16_t port) {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const bool free = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return free;
}

// The driver listens on the port and the next one (its second reader).
std::uint16_t FreePortPair() {
  for (std::uint16_t port = 36100 + static_cast<std::uint16_t>(::getpid() % 1000 * 2); port < 65000;
       port += 2) {
    if (PortIsFree(port) && PortIsFree(static_cast<std::uint16_t>(port + 1))) return port;
  }
  throw std::runtime_error("no two free ports for the virtual reader driver");
}

}  // namespace

std::optional<std::string> PrivatePcscd::WhyUnavailable() {
  if (::geteuid() != 0)
    return "pcscd cannot be started: not root (it needs /run/pcscd and a mount namespace)";
  if (!std::filesystem::exists("/usr/sbin/pcscd")) return "pcscd cannot be started: it is not installed";
  return std::nullopt;
}

PrivatePcscd::PrivatePcscd() : port_(FreePortPair()) {
  RunFolder();
  std::ofstream(config_ / "vpcd") << "FRIENDLYNAME \"Virtual PCD\"\n"
                                  << "DEVICENAME /dev/null:" << port_ << "\n"
                                  << "LIBPATH /usr/lib/pcsc/drivers/serial/libifdvpcd.so\n"
                                  << "CHANNELID " << port_ << "\n";
  Start();
}

PrivatePcscd::~PrivatePcscd() {
  daemon_.reset();
  std::error_code ignored;
  for (const auto& file : {"pcscd.comm", "pcscd.pid"}) std::filesystem::remove(RunFolder() / file, ignored);
}

void PrivatePcscd::Start() {
  daemon_.reset();
  std::error_code ignored;
  for (const auto& file : {"pcscd.comm", "pcscd.pid"}) std::filesystem::remove(RunFolder() / file, ignored);
  const std::string script = "mkdir -p /run/pcscd && mount --bind '" + RunFolder().string() +
                             "' /run/pcscd && exec pcscd --foreground -c '" + config_.Path().string() + "'";
  daemon_.emplace("unshare", std::vector<std::string>{"--mount", "sh", "-c", script});
  WaitUntilAnswering(10s);
}

void PrivatePcscd::Kill() {
  daemon_->Signal(SIGKILL);
  daemon_->Wait();
  daemon_.reset();
}

void PrivatePcscd::Freeze() {
  daemon_->Signal(SIGSTOP);
}

void PrivatePcscd::Thaw() {
  daemon_->Signal(SIGCONT);
}

void PrivatePcscd::WaitUntilAnswering(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(RunFolder() / "pcscd.comm")) {
      try {
        const auto service = MakeSystemPcscService();
        service->EstablishContext();
        for (const auto& name : service->ListReaders()) {
          if (name == kReaderName) return;
        }
      } catch (const std::exception&) {
        // not ready yet
      }
    }
    std::this_thread::sleep_for(10ms);
  }
  throw std::runtime_error("the test's own pcscd did not answer");
}

}  // namespace tessaly::test

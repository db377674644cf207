// tessaly-virtual-card: puts the Control Center's virtual card into the vsmartcard virtual reader of
// pcscd, so that every PC/SC program sees it. Exit codes: 0 success, 1 failure, 2 bad usage.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ProductInfo.h"
#include "tools/CardSlot.h"

namespace tessaly {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kBadUsage = 2;
constexpr std::uint16_t kVpcdPort = 35963;
constexpr int kReconnectMilliseconds = 100;

constexpr const char* kUsage =
    "Usage: tessaly-virtual-card [--host ADDRESS] [--port PORT] [--protocol t0|t1] [--removed]\n"
    "\n"
    "Connects the virtual card to the vsmartcard virtual reader driver (vpcd) of pcscd, which then\n"
    "shows a card in its reader \"Virtual PCD\". Lines on standard input move the card:\n"
    "  insert   put the card into the reader (connect to the driver)\n"
    "  remove   take it out (close the connection)\n"
    "  quit     end the program\n"
    "SIGUSR1 inserts, SIGUSR2 removes, SIGTERM and SIGINT end the program. Each change is reported on\n"
    "standard output as \"inserted\" or \"removed\"; while the driver is not there, the card waits for it.\n"
    "\n"
    "Options:\n"
    "  --host ADDRESS     the driver's IPv4 address (default 127.0.0.1)\n"
    "  --port PORT        the driver's port (default 35963)\n"
    "  --protocol t0|t1   how the card answers; the driver does not tell the card what pcscd chose.\n"
    "                     t1 (default; pcscd's choice when a program accepts both) answers directly,\n"
    "                     t0 announces data with 61xx and corrects a wrong Le with 6Cxx\n"
    "  --removed          start with the card out of the reader\n"
    "  --help             this text\n"
    "  --version          the program's name and version\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string Host = "127.0.0.1";
  std::uint16_t Port = kVpcdPort;
  std::uint32_t Protocol = 2;
  bool Inserted = true;
  bool Help = false;
  bool Version = false;
};

std::uint16_t ParsePort(const std::string& text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 0xFFFF) {
    throw UsageError("not a port number: " + text);
  }
  return static_cast<std::uint16_t>(value);
}

Options ParseCommandLine(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&] {
      if (++i == argc) throw UsageError(argument + " needs a value");
      return std::string(argv[i]);
    };
    if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument == "--host") {
      options.Host = value();
    } else if (argument == "--port") {
      options.Port = ParsePort(value());
    } else if (argument == "--protocol") {
      const std::string protocol = value();
      if (protocol != "t0" && protocol != "t1") throw UsageError("--protocol takes t0 or t1");
      options.Protocol = protocol == "t0" ? 1 : 2;
    } else if (argument == "--removed") {
      options.Inserted = false;
    } else {
      throw UsageError("unknown argument " + argument);
    }
  }
  return options;
}

// The signals that move the card or end the program arrive as readable data on one descriptor.
class SignalInbox {
 public:
  SignalInbox() {
    sigemptyset(&set_);
    for (int signal : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaddset(&set_, signal);
    CheckPosix(::sigprocmask(SIG_BLOCK, &set_, nullptr), "sigprocmask");
    descriptor_ = static_cast<int>(CheckPosix(::signalfd(-1, &set_, SFD_CLOEXEC), "signalfd"));
  }
  ~SignalInbox() { ::close(descriptor_); }
  SignalInbox(const SignalInbox&) = delete;
  SignalInbox& operator=(const SignalInbox&) = delete;

  int Descriptor() const { return descriptor_; }
  int Take() {
    signalfd_siginfo info{};
    CheckPosix(::read(descriptor_, &info, sizeof info), "read of a signal");
    return static_cast<int>(info.ssi_signo);
  }

 private:
  sigset_t set_{};
  int descriptor_ = -1;
};

// Whole lines from a descriptor that poll() watches; a stream's own buffer would hide lines from poll().
class LineInput {
 public:
  explicit LineInput(int descriptor) : descriptor_(descriptor) {}

  // The lines completed by one read; nothing at the end of the input.
  std::optional<std::vector<std::string>> Read() {
    char buffer[256];
    const auto count = CheckPosix(::read(descriptor_, buffer, sizeof buffer), "read of standard input");
    if (count == 0) return std::nullopt;
    pending_.append(buffer, static_cast<std::size_t>(count));
    std::vector<std::string> lines;
    for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
      lines.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
    return lines;
  }

 private:
  int descriptor_;
  std::string pending_;
};

// False when the program should end.
bool Obey(const std::string& line, CardSlot& slot) {
  if (line == "insert") {
    slot.Insert();
  } else if (line == "remove") {
    slot.Remove();
  } else if (line == "quit") {
    return false;
  } else if (!line.empty()) {
    std::cerr << "tessaly-virtual-card: unknown command \"" << line << "\" (insert, remove, quit)"
              << std::endl;
  }
  return true;
}

bool ObeySignal(int signal, CardSlot& slot) {
  if (signal == SIGUSR1) slot.Insert();
  if (signal == SIGUSR2) slot.Remove();
  return signal == SIGUSR1 || signal == SIGUSR2;
}

int Run(const Options& options) {
  SignalInbox signals;
  LineInput input(STDIN_FILENO);
  CardSlot slot(options.Host, options.Port, options.Protocol, std::cout, std::cerr);
  if (options.Inserted) slot.Insert();
  bool readingInput = true;
  for (;;) {
    pollfd watched[] = {{signals.Descriptor(), POLLIN, 0},
                        {readingInput ? STDIN_FILENO : -1, POLLIN, 0},
                        {slot.Descriptor(), POLLIN, 0}};
    const bool waitingForDriver = slot.WantsInserted() && !slot.IsInserted();
    CheckPosix(::poll(watched, 3, waitingForDriver ? kReconnectMilliseconds : -1), "poll");
    if (watched[0].revents && !ObeySignal(signals.Take(), slot)) return kSuccess;
    if (watched[1].revents) {
      const auto lines = input.Read();
      if (!lines) readingInput = false;  // without input the card is moved by signals only
      for (const auto& line : lines.value_or(std::vector<std::string>{})) {
        if (!Obey(line, slot)) return kSuccess;
      }
    }
    if (watched[2].revents && slot.IsInserted()) slot.Serve();
    slot.Reconnect();
  }
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  try {
    const auto options = tessaly::ParseCommandLine(argc, argv);
    if (options.Help) {
      std::cout << tessaly::kUsage;
      return tessaly::kSuccess;
    }
    if (options.Version) {
      std::cout << tessaly::VersionLine("tessaly-virtual-card") << '\n';
      return tessaly::kSuccess;
    }
    return tessaly::Run(options);
  } catch (const tessaly::UsageError& error) {
    std::cerr << "tessaly-virtual-card: " << error.what() << "\n\n" << tessaly::kUsage;
    return tessaly::kBadUsage;
  } catch (const std::exception& error) {
    std::cerr << "tessaly-virtual-card: " << error.what() << '\n';
    return tessaly::kFailure;
  }
}

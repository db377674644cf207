// tessaly-virtual-card: puts the Control Center's virtual card into the vsmartcard virtual reader of
// pcscd, so that every PC/SC program sees it. Exit codes: 0 success, 1 failure, 2 bad usage.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <deque>
#include <iostream>
#include <iterator>
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
// A line after "insert" waits this long at most for the driver to take the card, so that quick insert and
// remove lines are each carried out when the driver answers, and still end soon when it does not.
constexpr auto kInsertSettling = std::chrono::milliseconds(50);

constexpr const char* kUsage =
    "Usage: tessaly-virtual-card [--host ADDRESS] [--port PORT] [--protocol t0|t1] [--removed]\n"
    "\n"
    "Connects the virtual card to the vsmartcard virtual reader driver (vpcd) of pcscd, which then\n"
    "shows a card in its reader \"Virtual PCD\". Lines on standard input move the card:\n"
    "  insert   put the card into the reader (connect to the driver)\n"
    "  remove   take it out (close the connection)\n"
    "  quit     end the program\n"
    "SIGUSR1 inserts, SIGUSR2 removes, SIGTERM and SIGINT end the program; quit and the signals that end\n"
    "it take the card out first. Each change is reported on standard output as \"inserted\" or \"removed\".\n"
    "While the driver is not there, or another card holds its reader, the card waits for it.\n"
    "\n"
    "Options:\n"
    "  --host ADDRESS     the driver's IPv4 address, such as 127.0.0.1 (the default)\n"
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
      if (!DriverAddress(options.Host, kVpcdPort))
        throw UsageError("--host takes an IPv4 address such as 127.0.0.1, not \"" + options.Host + "\"");
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

// The lines read and not yet carried out; a line after "insert" waits while the driver takes the card.
class LineQueue {
 public:
  void Add(std::vector<std::string> lines) {
    pending_.insert(pending_.end(), std::make_move_iterator(lines.begin()),
                    std::make_move_iterator(lines.end()));
  }

  // Carries out the lines that may go now; false when one of them ends the program.
  bool CarryOut(CardSlot& slot) {
    while (!pending_.empty() && !Settling(slot)) {
      const std::string line = std::move(pending_.front());
      pending_.pop_front();
      if (line == "quit") return false;
      if (line == "insert") {
        slot.Insert();
        settleUntil_ = CardSlot::Clock::now() + kInsertSettling;
      } else if (line == "remove") {
        slot.Remove();
      } else if (!line.empty()) {
        std::cerr << "tessaly-virtual-card: unknown command \"" << line << "\" (insert, remove, quit)"
                  << std::endl;
      }
    }
    return true;
  }

  std::optional<CardSlot::Clock::duration> Timeout(const CardSlot& slot) const {
    if (pending_.empty() || !Settling(slot)) return std::nullopt;
    return settleUntil_ - CardSlot::Clock::now();
  }

 private:
  bool Settling(const CardSlot& slot) const {
    return slot.IsConnecting() && CardSlot::Clock::now() < settleUntil_;
  }

  std::deque<std::string> pending_;
  CardSlot::Clock::time_point settleUntil_;
};

bool ObeySignal(int signal, CardSlot& slot) {
  if (signal == SIGUSR1) slot.Insert();
  if (signal == SIGUSR2) slot.Remove();
  return signal == SIGUSR1 || signal == SIGUSR2;
}

// The shorter of two waits, in poll()'s milliseconds rounded up; -1 for none.
int PollTimeout(std::optional<CardSlot::Clock::duration> first,
                std::optional<CardSlot::Clock::duration> second) {
  std::optional<CardSlot::Clock::duration> shorter = first;
  if (second && (!shorter || *second < *shorter)) shorter = second;
  if (!shorter) return -1;
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(*shorter).count();
  return static_cast<int>(std::max<decltype(milliseconds)>(0, milliseconds));
}

// Runs until quit, SIGTERM or SIGINT, which take the card out first.
void Serve(CardSlot& slot, SignalInbox& signals, LineInput& input) {
  LineQueue lines;
  bool readingInput = true;
  for (;;) {
    if (!lines.CarryOut(slot)) return;
    pollfd watched[] = {{signals.Descriptor(), POLLIN, 0},
                        {readingInput ? STDIN_FILENO : -1, POLLIN, 0},
                        {slot.Descriptor(), slot.Events(), 0}};
    if (::poll(watched, 3, PollTimeout(slot.Timeout(), lines.Timeout(slot))) < 0 && errno != EINTR)
      throw EPosixCallError("poll", errno);
    if (watched[0].revents != 0 && !ObeySignal(signals.Take(), slot)) return;
    if (watched[1].revents != 0) {
      auto read = input.Read();
      if (!read) readingInput = false;  // without input the card is moved by signals only
      lines.Add(std::move(read).value_or(std::vector<std::string>{}));
    }
    slot.Tick(watched[2].revents);
  }
}

int Run(const Options& options) {
  SignalInbox signals;
  LineInput input(STDIN_FILENO);
  CardSlot slot(options.Host, options.Port, options.Protocol, std::cout, std::cerr);
  if (options.Inserted) slot.Insert();
  Serve(slot, signals, input);
  slot.Remove();
  return kSuccess;
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

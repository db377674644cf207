// tessaly-virtual-card through its real executable, against a stand-in for the vsmartcard reader driver.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "device/VirtualCard.h"
#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The driver's side: listens on a free local port, accepts the card and exchanges length-prefixed messages.
class StandInDriver {
 public:
  StandInDriver() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int reuse = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("no local port for the stand-in driver");
    }
    port_ = ntohs(address.sin_port);
  }
  ~StandInDriver() {
    CloseCard();
    for (const int socket : queued_) ::close(socket);
    ::close(listener_);
  }

  std::string Port() const { return std::to_string(port_); }
  void Listen(int backlog = 1) { ::listen(listener_, backlog); }
  // Listens without ever accepting, with its accept queue full: the system then drops new connection
  // requests, and a connect waits for seconds of retries.
  void ListenWithAFullQueue() {
    Listen(0);
    for (;;) {
      const int waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      queued_.push_back(waiting);
      sockaddr_in address = Address();
      ::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address);
      pollfd watched{waiting, POLLOUT, 0};
      if (::poll(&watched, 1, 200) == 0) return;
    }
  }
  bool Accept(std::chrono::milliseconds timeout) {
    pollfd watched{listener_, POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(timeout.count())) != 1) return false;
    card_ = ::accept(listener_, nullptr, nullptr);
    return card_ >= 0;
  }
  // The accepted connection, now the caller's to close.
  int ReleaseCard() { return std::exchange(card_, -1); }
  void CloseCard() {
    if (card_ >= 0) ::close(card_);
    card_ = -1;
  }
  void Send(const Bytes& message) {
    Bytes frame{static_cast<std::uint8_t>(message.size() >> 8), static_cast<std::uint8_t>(message.size())};
    frame.insert(frame.end(), message.begin(), message.end());
    ASSERT_EQ(::send(card_, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<long>(frame.size()));
  }
  // Nothing when the card closed the connection or said nothing within a second.
  std::optional<Bytes> Receive() {
    std::uint8_t header[2];
    if (!ReceiveExactly(header, 2)) return std::nullopt;
    Bytes message((header[0] << 8) | header[1]);
    if (!ReceiveExactly(message.data(), message.size())) return std::nullopt;
    return message;
  }
  std::optional<Bytes> Exchange(const Bytes& message) {
    Send(message);
    return Receive();
  }

 private:
  bool ReceiveExactly(std::uint8_t* buffer, std::size_t size) {
    for (std::size_t received = 0; received < size;) {
      pollfd watched{card_, POLLIN, 0};
      if (::poll(&watched, 1, 1000) != 1) return false;
      const auto count = ::recv(card_, buffer + received, size - received, 0);
      if (count <= 0) return false;
      received += static_cast<std::size_t>(count);
    }
    return true;
  }

  sockaddr_in Address() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    return address;
  }

  int listener_ = -1;
  int card_ = -1;
  std::vector<int> queued_;
  std::uint16_t port_ = 0;
};

// "quit", SIGTERM and SIGINT, each with its name.
std::vector<std::pair<std::string, std::function<void(test::ChildProcess&)>>> WaysToEnd() {
  return {{"quit", [](test::ChildProcess& card) { card.WriteLine("quit"); }},
          {"SIGTERM", [](test::ChildProcess& card) { card.Signal(SIGTERM); }},
          {"SIGINT", [](test::ChildProcess& card) { card.Signal(SIGINT); }}};
}

const Bytes kSelectApplication{0x00, 0xA4, 0x04, 0x04, 0x08, 0xF0, 'T', 'E', 'S', 'S', 'A', 'L', 'Y', 0x00};

class TessalyVirtualCard : public testing::Test {
 protected:
  test::ChildProcess& StartCard(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"--port", driver_.Port()});
    card_.emplace(TESSALY_VIRTUAL_CARD_EXECUTABLE, arguments);
    return *card_;
  }

  // The card with its error output among its standard output.
  static std::unique_ptr<test::ChildProcess> StartCardTellingAll(const std::vector<std::string>& arguments) {
    std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" 2>&1", TESSALY_VIRTUAL_CARD_EXECUTABLE};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return std::make_unique<test::ChildProcess>("/bin/sh", shell);
  }

  // How long the card takes to end after ending is asked for, or nothing when it did not end within 5 s.
  static std::optional<std::chrono::milliseconds> TimeToEnd(test::ChildProcess& card,
                                                            const std::function<void()>& askToEnd) {
    const auto asked = std::chrono::steady_clock::now();
    askToEnd();
    const std::optional<int> code = card.WaitFor(5s);
    if (!code) return std::nullopt;
    EXPECT_EQ(*code, 0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
  }

  StandInDriver driver_;
  std::optional<test::ChildProcess> card_;
};

TEST_F(TessalyVirtualCard, AnswersTheDriverAsTheVirtualCard) {
  driver_.Listen();
  auto& card = StartCard();
  ASSERT_TRUE(driver_.Accept(2s));
  EXPECT_TRUE(card.WaitForLine("inserted", 2s));
  EXPECT_EQ(driver_.Exchange({4}), VirtualCard().Atr());
  driver_.Send({1});
  EXPECT_EQ(driver_.Exchange({0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00}), (Bytes{0x90, 0x00}));
  const auto fcp = driver_.Exchange(kSelectApplication);
  ASSERT_TRUE(fcp);
  EXPECT_EQ(fcp->size(), 0x16u + 2) << "T=1 by default: the data comes directly";
}

TEST_F(TessalyVirtualCard, AnswersAsAT0CardWhenAsked) {
  driver_.Listen();
  StartCard({"--protocol", "t0"});
  ASSERT_TRUE(driver_.Accept(2s));
  EXPECT_EQ(driver_.Exchange(kSelectApplication), (Bytes{0x61, 0x16}));
}

TEST_F(TessalyVirtualCard, RemoveClosesTheConnectionAndInsertOpensANewOne) {
  driver_.Listen();
  auto& card = StartCard();
  ASSERT_TRUE(driver_.Accept(2s));
  ASSERT_TRUE(card.WaitForLine("inserted", 2s));
  card.WriteLine("remove");
  EXPECT_TRUE(card.WaitForLine("removed", 2s));
  EXPECT_EQ(driver_.Receive(), std::nullopt);
  driver_.CloseCard();
  card.WriteLine("insert");
  ASSERT_TRUE(driver_.Accept(2s));
  EXPECT_TRUE(card.WaitForLine("inserted", 2s));
  EXPECT_EQ(driver_.Exchange({4}), VirtualCard().Atr());
}

TEST_F(TessalyVirtualCard, SignalsMoveTheCardToo) {
  driver_.Listen();
  auto& card = StartCard({"--removed"});
  EXPECT_FALSE(driver_.Accept(300ms)) << "--removed starts outside the reader";
  card.Signal(SIGUSR1);
  ASSERT_TRUE(driver_.Accept(2s));
  EXPECT_TRUE(card.WaitForLine("inserted", 2s));
  card.Signal(SIGUSR2);
  EXPECT_TRUE(card.WaitForLine("removed", 2s));
  card.Signal(SIGTERM);
  EXPECT_EQ(card.Wait(), 0);
}

TEST_F(TessalyVirtualCard, WaitsForTheDriverAndComesBackWhenItReturns) {
  auto& card = StartCard();
  std::this_thread::sleep_for(300ms);
  driver_.Listen();
  ASSERT_TRUE(driver_.Accept(2s)) << "the card keeps trying until the driver listens";
  ASSERT_TRUE(card.WaitForLine("inserted", 2s));
  driver_.CloseCard();
  EXPECT_TRUE(card.WaitForLine("removed", 2s));
  ASSERT_TRUE(driver_.Accept(2s)) << "a driver that went away is reconnected";
  EXPECT_TRUE(card.WaitForLine("inserted", 2s));
}

TEST_F(TessalyVirtualCard, QuitEndsWithSuccessAndBadUsageWithTwo) {
  auto& card = StartCard({"--removed"});
  card.WriteLine("quit");
  EXPECT_EQ(card.Wait(), 0);
  EXPECT_EQ(StartCard({"--protocol", "t2"}).Wait(), 2);
  EXPECT_EQ(StartCard({"--help"}).Wait(), 0);
  auto& version = StartCard({"--version"});
  EXPECT_TRUE(version.WaitForLine(std::string("tessaly-virtual-card (Tessaly Easy) ") + kProductVersion, 2s));
  EXPECT_EQ(version.Wait(), 0);
  for (const char* host : {"localhost", "127.0.0.256", "::1", ""}) {
    EXPECT_EQ(StartCard({"--host", host}).Wait(), 2) << host;
    EXPECT_EQ(StartCard({"--removed", "--host", host}).Wait(), 2) << host << " is checked before any insert";
  }
}

TEST_F(TessalyVirtualCard, QuitAndSignalsThatEndItTakeTheCardOutFirst) {
  driver_.Listen(4);
  for (const auto& [way, end] : WaysToEnd()) {
    auto& card = StartCard();
    ASSERT_TRUE(driver_.Accept(2s));
    ASSERT_TRUE(card.WaitForLine("inserted", 2s));
    end(card);
    EXPECT_TRUE(card.WaitForLine("removed", 2s)) << way;
    EXPECT_EQ(card.Wait(), 0) << way;
    driver_.CloseCard();
  }
}

// While the driver cannot take the connection, the card still obeys at once; it waited in connect() for
// seconds before.
TEST_F(TessalyVirtualCard, EndsWithinASecondWhileTheDriversQueueIsFull) {
  driver_.ListenWithAFullQueue();
  for (const auto& [way, end] : WaysToEnd()) {
    auto& card = StartCard();
    std::this_thread::sleep_for(300ms);
    const auto taken = TimeToEnd(card, [&] { end(card); });
    ASSERT_TRUE(taken) << "still running 5 s after " << way;
    EXPECT_LT(*taken, 1s) << way;
  }
}

TEST_F(TessalyVirtualCard, QuickLinesAreAllCarriedOutAndASignalStillEndsItAtOnce) {
  driver_.ListenWithAFullQueue();
  auto& card = StartCard({"--removed"});
  std::this_thread::sleep_for(200ms);  // until it has taken over its signals
  for (int i = 0; i < 10; ++i) {
    card.WriteLine("insert");
    card.WriteLine("remove");
  }
  const auto taken = TimeToEnd(card, [&] { card.Signal(SIGTERM); });
  ASSERT_TRUE(taken) << "still running 5 s after SIGTERM";
  EXPECT_LT(*taken, 1s);
}

TEST_F(TessalyVirtualCard, QuickInsertAndRemoveLinesAreEachReportedWhenTheDriverTakesThem) {
  driver_.Listen(16);
  std::vector<int> taken;
  std::thread accepting([&] {
    while (taken.size() < 10 && driver_.Accept(2s)) taken.push_back(driver_.ReleaseCard());
  });
  auto& card = StartCard({"--removed"});
  for (int i = 0; i < 10; ++i) {
    card.WriteLine("insert");
    card.WriteLine("remove");
  }
  int reported = 0;
  for (int i = 0; i < 10; ++i) reported += card.WaitForLine("inserted", 2s) + card.WaitForLine("removed", 2s);
  accepting.join();
  for (const int socket : taken) ::close(socket);
  EXPECT_EQ(reported, 20);
}

TEST_F(TessalyVirtualCard, ASecondCardForTheSameReaderIsToldItHoldsOneAlready) {
  driver_.Listen(4);
  auto& first = StartCard();
  ASSERT_TRUE(driver_.Accept(2s));
  ASSERT_TRUE(first.WaitForLine("inserted", 2s));
  const auto second = StartCardTellingAll({"--port", driver_.Port()});
  const auto told = second->ReadLine(2s);
  ASSERT_TRUE(told);
  EXPECT_NE(told->find("already holds a card"), std::string::npos) << *told;
  EXPECT_FALSE(second->WaitForLine("inserted", 300ms));
  first.WriteLine("quit");
  EXPECT_TRUE(second->WaitForLine("inserted", 2s)) << "the second card goes in once the reader is free";
}

}  // namespace
}  // namespace tessaly

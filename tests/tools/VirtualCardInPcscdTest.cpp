// tessaly-virtual-card in the vsmartcard reader of a pcscd of the test's own, seen by a PC/SC client: two
// cards for one reader, and a card taken out by quit.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "PrivatePcscd.h"
#include "device/PcscError.h"
#include "device/PcscService.h"
#include "pcsc/PcscCodes.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> kSelectMasterFile{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00};

class VirtualCardInPcscd : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto reason = test::PrivatePcscd::WhyUnavailable()) GTEST_SKIP() << *reason;
    pcscd_.emplace();
    client_ = MakeSystemPcscService();
    client_->EstablishContext();
  }

  // The card with its error output among its standard output.
  std::unique_ptr<test::ChildProcess> StartCard() const {
    return std::make_unique<test::ChildProcess>(
        "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" \"$@\" 2>&1", TESSALY_VIRTUAL_CARD_EXECUTABLE,
                                            "--port", std::to_string(pcscd_->CardPort())});
  }

  bool AwaitCardPresent(bool present, std::chrono::milliseconds timeout) {
    std::vector<ReaderState> states(1);
    states[0].Name = test::PrivatePcscd::kReaderName;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      client_->GetStatusChange(states, 100);
      if (((states[0].EventState & kStatePresent) != 0) == present) return true;
      states[0].CurrentState = states[0].EventState;
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

  // The status word the card gives to SELECT MF, through pcscd.
  std::vector<std::uint8_t> SelectMasterFile() {
    std::int32_t protocol = 0;
    const CardHandle card = client_->Connect(test::PrivatePcscd::kReaderName, kShareShared, 3, protocol);
    auto answer = client_->Transmit(card, protocol, kSelectMasterFile);
    client_->Disconnect(card, kLeaveCard);
    return answer;
  }

  // As above, once pcscd has caught up with a card taken out and another put in: until its next look at the
  // reader it may still hold the first card's state, and the driver answers for neither.
  std::vector<std::uint8_t> SelectMasterFileAfterTheSwap() {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
      try {
        return SelectMasterFile();
      } catch (const EPcscError&) {
        if (std::chrono::steady_clock::now() >= deadline) throw;
        std::this_thread::sleep_for(100ms);
      }
    }
  }

  std::optional<test::PrivatePcscd> pcscd_;
  std::unique_ptr<PcscService> client_;
};

TEST_F(VirtualCardInPcscd, ASecondCardWaitsUntilTheFirstIsTakenOut) {
  const auto first = StartCard();
  ASSERT_TRUE(first->WaitForLine("inserted", 5s));
  ASSERT_TRUE(AwaitCardPresent(true, 5s));
  EXPECT_EQ(SelectMasterFile(), (std::vector<std::uint8_t>{0x90, 0x00}));

  const auto second = StartCard();
  const auto told = second->ReadLine(2s);
  ASSERT_TRUE(told);
  EXPECT_NE(told->find("already holds a card"), std::string::npos) << *told;
  EXPECT_FALSE(second->WaitForLine("inserted", 500ms));
  EXPECT_EQ(SelectMasterFile(), (std::vector<std::uint8_t>{0x90, 0x00})) << "the first card still answers";

  first->WriteLine("quit");
  EXPECT_TRUE(first->WaitForLine("removed", 2s));
  EXPECT_EQ(first->Wait(), 0);
  ASSERT_TRUE(second->WaitForLine("inserted", 5s));
  EXPECT_EQ(SelectMasterFileAfterTheSwap(), (std::vector<std::uint8_t>{0x90, 0x00}));
  second->WriteLine("quit");
  EXPECT_TRUE(second->WaitForLine("removed", 2s));
  EXPECT_TRUE(AwaitCardPresent(false, 5s)) << "quit takes the card out of the reader";
}

}  // namespace
}  // namespace tessaly

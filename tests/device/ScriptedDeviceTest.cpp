// The device layer against a service that hangs, fails with rare codes and answers in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CardBytes.h"
#include "DeviceLayerFixture.h"
#include "device/PcscError.h"
#include "device/Worker.h"
#include "pcsc/PcscCodes.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kScriptedReader = ScriptedPcscService::kReader;

class ScriptedDeviceTest : public DeviceLayerOver<ScriptedPcscService> {
 protected:
  static constexpr auto kDeadline = 300ms;

  ~ScriptedDeviceTest() override {
    for (const auto& latch : latches_) latch->Release();
    layer_.reset();
    // Every thread let go ends once what held it is released.
    const auto deadline = Clock::now() + 5s;
    while (Worker::LeftBehind() > 0 && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Worker::LeftBehind(), 0);
  }

  // The start takes the usual deadline, which a slow machine needs; the calls after it the short one.
  void StartWithCard() {
    layer_->Start();
    Settle();
    ASSERT_TRUE(layer_->CardOpen(0));
    layer_->SetCallDeadline(kDeadline);
    TakeLog();
  }

  // The call of that name blocks until the latch returned is released (at the latest when the test ends).
  std::shared_ptr<Latch> Hang(const std::string& call) {
    auto latch = std::make_shared<Latch>();
    latches_.push_back(latch);
    service_->Script(call, Reaction::Waits(latch));
    return latch;
  }

  Lines Errors() {
    Lines errors;
    for (const std::string& line : TakeLog()) {
      if (line.starts_with("Error")) errors.push_back(line);
    }
    return errors;
  }

  bool AwaitOutcome() {
    return queue_.RunUntil([&] { return outcome_.has_value(); }, 5s);
  }

  std::vector<std::shared_ptr<Latch>> latches_;
};

TEST_F(ScriptedDeviceTest, ACardThatNeverAnswersLeavesTheHostLiveAndIsGivenUpAtTheDeadline) {
  StartWithCard();
  const auto latch = Hang("SCardTransmit");
  Send(0, "00 B0 00 00 00");

  // The host's thread goes on with its own work while the card is silent.
  int ticks = 0;
  const auto tick = [&](auto self) -> void {
    ++ticks;
    queue_.Host().After(20ms, [&, self] { self(self); });
  };
  tick(tick);
  ASSERT_TRUE(AwaitOutcome());
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(outcome_->Failure, "The card in " + kScriptedReader + " did not answer within 300 ms");
  EXPECT_EQ(Errors(),
            Lines{"Error | " + kScriptedReader +
                  " | 0x8010000A : SCardTransmit: no answer within 300 ms; the call was given up and its "
                  "answer is dropped when it comes"});

  // Until the late answer is in, the reader takes no command and touches no card.
  EXPECT_THROW(Send(0, "00 B0 00 00 00"), EDeviceError);
  EXPECT_NE(layer_->Refusal(0).find("has not answered its last command"), std::string::npos);
  latch->Release();
  ASSERT_TRUE(queue_.RunUntil([&] { return layer_->Refusal(0).empty(); }, 5s));
  EXPECT_EQ(TakeLog(), Lines{}) << "the late answer is dropped";
  EXPECT_TRUE(Exchange(0, "00 B0 00 00 00").Answered());
}

TEST_F(ScriptedDeviceTest, CancelGivesTheExchangeUpAtOnce) {
  StartWithCard();
  Hang("SCardTransmit");
  Send(0, "00 B0 00 00 00");
  ASSERT_TRUE(queue_.RunUntil(
      [&] { return !service_->Calls().empty() && service_->Calls().back() == "SCardTransmit"; }, 5s));
  EXPECT_TRUE(layer_->ExchangeUnderWay(0));

  const auto cancelled = Clock::now();
  layer_->CancelExchange(0);
  ASSERT_TRUE(AwaitOutcome());
  EXPECT_LT(Clock::now() - cancelled, kDeadline);
  EXPECT_EQ(outcome_->Failure, "Cancelled: the card in " + kScriptedReader + " had not answered");
  EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                            " | 0x80100002 : SCardTransmit: given up before the card answered; its answer is "
                            "dropped"});
}

TEST_F(ScriptedDeviceTest, ACardBeingResetTakesNoCommandUntilTheResetHasEndedAndHearsOfItsFailure) {
  StartWithCard();
  std::optional<std::string> ended;
  const CardDone recordEnd = [&ended](const std::string& failure) { ended = failure; };
  const auto latch = Hang("SCardReconnect");
  layer_->ResetCard(0, recordEnd);
  EXPECT_EQ(layer_->Refusal(0), "The card in " + kScriptedReader + " is being reset");
  EXPECT_THROW(Send(0, "00 B0 00 00 00"), EDeviceError);
  EXPECT_THROW(layer_->ReconnectCard(0, kProtocolT0), EDeviceError);
  ASSERT_TRUE(queue_.RunUntil([&] { return service_->Calls().back() == "SCardReconnect(1)"; }, 5s));
  EXPECT_FALSE(ended.has_value());

  latch->Release();
  ASSERT_TRUE(queue_.RunUntil([&] { return ended.has_value(); }, 5s));
  EXPECT_EQ(*ended, "");
  EXPECT_TRUE(Exchange(0, "00 B0 00 00 00").Answered());

  service_->Script("SCardReconnect", Reaction::Fails(kScardRemovedCard));
  ended.reset();
  layer_->ReconnectCard(0, kProtocolT1, recordEnd);
  ASSERT_TRUE(queue_.RunUntil([&] { return ended.has_value(); }, 5s));
  EXPECT_EQ(*ended, "SCardReconnect: " + PcscCodeText(kScardRemovedCard));
  EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                            " | 0x80100069 : SCardReconnect: " + PcscCodeText(kScardRemovedCard)});
  EXPECT_EQ(layer_->Refusal(0), "") << "a failed reset leaves the card taking commands";
}

TEST_F(ScriptedDeviceTest, StopEndsWithinItsBudgetWhileACardAndTheServiceHang) {
  StartWithCard();
  Hang("SCardTransmit");
  Hang("SCardCancel");
  Hang("SCardDisconnect");
  Send(0, "00 B0 00 00 00");
  ASSERT_TRUE(queue_.RunUntil([&] { return service_->Calls().back() == "SCardTransmit"; }, 5s));

  const auto stopping = Clock::now();
  layer_->Stop();
  EXPECT_LT(Clock::now() - stopping, 2s);
  EXPECT_GT(Worker::LeftBehind(), 0) << "the stuck calls are left to end on their own";
  EXPECT_FALSE(outcome_.has_value()) << "nobody hears of an exchange after Stop";
  EXPECT_EQ(ServiceContext, 0u);
  EXPECT_EQ(Entry(0).ReaderInUse, 0u);
}

TEST_F(ScriptedDeviceTest, AnAnswerWithoutAStatusWordIsAnError) {
  StartWithCard();
  for (const auto& [answer, failure] :
       {std::pair{"", "an answer of 0 bytes"}, std::pair{"90", "an answer of 1 byte"}}) {
    service_->Script("SCardTransmit", Reaction::Answers(CardBytes(answer)));
    const ExchangeOutcome outcome = Exchange(0, "00 B0 00 00 00");
    EXPECT_EQ(outcome.Failure, std::string("The card gave no status word (") + failure + ")");
    EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                              " | SCardTransmit: The card gave no status word (" + failure + ")"});
  }
}

TEST_F(ScriptedDeviceTest, FailedCallsAreReportedWithTheReaderTheCallAndTheCode) {
  StartWithCard();
  service_->Script("SCardTransmit", Reaction::Fails(kScardRemovedCard));
  EXPECT_EQ(Exchange(0, "00 B0 00 00 00").Failure, "SCardTransmit: " + PcscCodeText(kScardRemovedCard));
  EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                            " | 0x80100069 : SCardTransmit: " + PcscCodeText(kScardRemovedCard)});

  service_->Script("SCardDisconnect", Reaction::Fails(kScardInvalidHandle));
  layer_->CloseCard(0);
  Settle();
  EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                            " | 0x80100003 : SCardDisconnect: " + PcscCodeText(kScardInvalidHandle)});
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardDetected);

  service_->Script("SCardConnect", Reaction::Fails(kScardSharingViolation));
  layer_->OpenCard(0);
  Settle();
  EXPECT_EQ(Errors(), Lines{"Error | " + kScriptedReader +
                            " | 0x8010000B : SCardConnect: " + PcscCodeText(kScardSharingViolation)});
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardInvalid);
}

TEST_F(ScriptedDeviceTest, AReaderGoneBetweenTheListingAndTheWaitIsReported) {
  service_->SetReader("Scripted Reader 1", kStateEmpty);
  layer_->Start();
  Settle();
  ASSERT_EQ(kernel_.Connection->Readers, (Lines{kScriptedReader, "Scripted Reader 1"}));
  TakeLog();

  service_->RemoveReader("Scripted Reader 1");
  service_->Script("SCardGetStatusChange", Reaction::Fails(kScardUnknownReader));
  Settle();
  EXPECT_EQ(kernel_.Connection->Readers, Lines{kScriptedReader});
  EXPECT_EQ(TakeLog(), (Lines{"Before devices list | MS Smart Card service | ",
                              "Devices list changed | MS Smart Card service | "}));
}

TEST_F(ScriptedDeviceTest, ACardSwappedBetweenTwoWaitsIsClosedAndOpenedAgain) {
  StartWithCard();
  service_->SetReader(kScriptedReader, (3u << 16) | kStatePresent, CardBytes("3B 02 14 51"));
  Settle();
  const Lines log = TakeLog();
  Lines names;
  for (const std::string& line : log) names.push_back(line.substr(0, line.find(" |")));
  EXPECT_EQ(names,
            (Lines{"Reader state changed", "Before reader closing", "Reader closed", "Waiting for card",
                   "Card detected", "Before reader opening", "Reader opened", "Card ready"}));
  EXPECT_EQ(Entry(0).CardInfo.ATR, "3B 02 14 51");
  const Lines calls = service_->Calls();
  EXPECT_EQ((Lines{calls.end() - 2, calls.end()}), (Lines{"SCardDisconnect(1)", "SCardConnect"}));
}

TEST_F(ScriptedDeviceTest, WhileTheServiceIsAwayNoCardIsOpenAndCommandsAreRefusedUntouched) {
  StartWithCard();
  service_->Script("SCardEstablishContext", Reaction::Fails(kScardNoService));
  service_->Script("SCardGetStatusChange", Reaction::Fails(kScardNoService));
  ASSERT_TRUE(queue_.RunUntil([&] { return kernel_.Connection->ConnectionState == 0; }, 5s));

  EXPECT_FALSE(layer_->CardOpen(0));
  EXPECT_THROW(Send(0, "00 B0 00 00 00"), EDeviceError);
  EXPECT_THROW(layer_->OpenCard(0), EDeviceError);
  const Lines calls = service_->Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SCardTransmit"), 0);
}

}  // namespace
}  // namespace tessaly::test

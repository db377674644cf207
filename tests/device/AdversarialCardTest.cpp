// The device layer over the real smart-card stack with a card that hangs, chains without end, answers in
// pieces or not at all, and a pcscd that stops answering.
#include <gtest/gtest.h>

#include "CardBytes.h"
#include "RealStackFixture.h"
#include "device/Worker.h"

namespace tessaly::test {
namespace {

class AdversarialCard : public RealStack {
 protected:
  static constexpr auto kDeadline = 1000ms;

  void SetUp() override {
    RealStack::SetUp();
    if (IsSkipped()) return;
    StartLayer();
    layer_->SetCallDeadline(kDeadline);
    StartAdversarialCard();
    ASSERT_TRUE(AwaitRecord("Card ready"));
  }

  void TearDown() override {
    if (pcscd_) pcscd_->Thaw();
    RealStack::TearDown();
  }

  // Sends the command and runs the host's tasks until its outcome; also measures how late a timer due
  // every 20 ms ran meanwhile, as the window's own timers would.
  ExchangeOutcome Await(const std::string& hexCommand, std::chrono::milliseconds* latest = nullptr) {
    std::optional<ExchangeOutcome> outcome;
    layer_->Transmit(ReaderIndex(), hexCommand, [&](const ExchangeOutcome& ended) { outcome = ended; });
    // The timer outlives this call in the queue: what it touches is its own.
    struct Ticks {
      Clock::time_point Due = Clock::now() + 20ms;
      std::chrono::milliseconds Late{0};
      bool Stopped = false;
    };
    const auto ticks = std::make_shared<Ticks>();
    const HostThread host = queue_.Host();
    std::function<void()> tick = [ticks, host, &tick] {
      if (ticks->Stopped) return;
      const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ticks->Due);
      ticks->Late = std::max(ticks->Late, late);
      ticks->Due = Clock::now() + 20ms;
      host.After(20ms, tick);
    };
    host.After(20ms, tick);
    EXPECT_TRUE(queue_.RunUntil([&] { return outcome.has_value(); }, 5s));
    ticks->Stopped = true;
    if (latest != nullptr) *latest = ticks->Late;
    return outcome.value_or(ExchangeOutcome{{}, "no end within 5 s"});
  }

  std::chrono::milliseconds TimeToStop() {
    const auto stopping = Clock::now();
    layer_->Stop();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopping);
  }
};

TEST_F(AdversarialCard, ASilentCardIsGivenUpWhileTheHostGoesOnAndLeavingFreesTheReader) {
  std::chrono::milliseconds late{};
  const ExchangeOutcome silent = Await("00 01 00 00", &late);
  EXPECT_EQ(silent.Failure,
            "The card in " + std::string(PrivatePcscd::kReaderName) + " did not answer within 1 s");
  EXPECT_LT(late, 50ms) << "the host's thread waited on the card";
  EXPECT_NE(layer_->Refusal(ReaderIndex()).find("has not answered its last command"), std::string::npos);

  const std::size_t beforeRemoval = log_.size();
  card_.reset();
  ASSERT_TRUE(AwaitRecord("Waiting for card", beforeRemoval));
  StartAdversarialCard();
  ASSERT_TRUE(AwaitRecord("Card ready", beforeRemoval));
  EXPECT_EQ(Exchange("00 A4 00 00").Result.Response, CardBytes("90 00"));
}

TEST_F(AdversarialCard, ChainedAnswersAreJoinedAndAnEndlessChainIsCut) {
  const ExchangeOutcome chained = Exchange("00 04 00 00 00");
  ASSERT_TRUE(chained.Answered()) << chained.Failure;
  ASSERT_EQ(chained.Result.Steps.size(), 3u);
  ASSERT_EQ(chained.Result.Response.size(), 300u + 2);
  EXPECT_EQ(chained.Result.Response[255], 0xA1);
  EXPECT_EQ(chained.Result.Response[256], 0xB2);
  EXPECT_EQ(std::vector(chained.Result.Response.end() - 2, chained.Result.Response.end()),
            CardBytes("90 00"));

  const ExchangeOutcome endless = Exchange("00 05 00 00 00");
  EXPECT_EQ(endless.Result.Steps.size(), 65u);
}

TEST_F(AdversarialCard, AOneByteAnswerIsAFailureAndAnEmptyOrCutFrameIsSilence) {
  EXPECT_EQ(Exchange("00 06 00 00").Failure, "The card gave no status word (an answer of 1 byte)");
  // The driver waits for the rest of a frame that is empty or cut short, as long as the card stays.
  for (const char* command : {"00 02 00 00", "00 03 00 00"}) {
    EXPECT_NE(Await(command).Failure.find("did not answer within 1 s"), std::string::npos) << command;
    const std::size_t beforeRemoval = log_.size();
    card_.reset();
    ASSERT_TRUE(AwaitRecord("Waiting for card", beforeRemoval));
    StartAdversarialCard();
    ASSERT_TRUE(AwaitRecord("Card ready", beforeRemoval));
  }
}

TEST_F(AdversarialCard, ClosingTakesUnderTwoSecondsWhileACardHangs) {
  std::optional<ExchangeOutcome> outcome;
  layer_->Transmit(ReaderIndex(), "00 01 00 00", [&](const ExchangeOutcome& ended) { outcome = ended; });
  queue_.RunUntil([] { return false; }, 200ms);
  EXPECT_LT(TimeToStop(), 2s);
}

TEST_F(AdversarialCard, AFrozenPcscdHoldsNeitherAnExchangeNorTheClose) {
  pcscd_->Freeze();
  std::chrono::milliseconds late{};
  EXPECT_NE(Await("00 A4 00 00", &late).Failure.find("did not answer"), std::string::npos);
  EXPECT_LT(late, 50ms);
  EXPECT_LT(TimeToStop(), 2s);
}

}  // namespace
}  // namespace tessaly::test

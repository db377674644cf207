// The whole road through the real smart-card stack with tessaly-virtual-card in the virtual reader.
#include <gtest/gtest.h>

#include "CardBytes.h"
#include "RealStackFixture.h"
#include "device/VirtualCard.h"
#include "pcsc/PcscCodes.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

TEST_F(RealStack, CardInsertedIsReadyWithItsAtrExchangesAndRemovedIsClosed) {
  StartLayer();
  ASSERT_TRUE(AwaitRecord("Devices list changed"));
  StartCard();
  const auto ready = AwaitRecord("Card ready");
  ASSERT_TRUE(ready) << "no \"Card ready\" after the card was inserted";
  EXPECT_EQ(ready->Source, PrivatePcscd::kReaderName);
  ASSERT_TRUE(ready->Details.starts_with("ATR = "));
  EXPECT_EQ(CardBytes(ready->Details.substr(6)), VirtualCard().Atr());

  const auto result = Exchange("00 A4 08 0C 04 50 00 50 02").Result;
  EXPECT_EQ(result.Response, CardBytes("90 00"));
  EXPECT_EQ(Exchange("00 B2 02 04 00").Result.Response.size(), 13u + 2) << "Issuer=Orvane";
  const std::size_t beforeRemoval = log_.size();
  card_->WriteLine("remove");
  ASSERT_TRUE(AwaitRecord("Waiting for card", beforeRemoval));
  std::vector<std::string> names;
  for (auto record = log_.begin() + static_cast<std::ptrdiff_t>(beforeRemoval); record != log_.end();
       ++record) {
    names.push_back(record->Name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Reader state changed", "Before reader closing", "Reader closed",
                                             "Waiting for card"}));
}

TEST_F(RealStack, ExchangeUnderT0IsCompletedWithGetResponse) {
  kernel_->Settings->SetProtocol(kProtocolT0);
  StartLayer();
  StartCard({"--protocol", "t0"});
  ASSERT_TRUE(AwaitRecord("Card ready"));
  const std::size_t beforeExchange = log_.size();
  const auto result = Exchange("00 A4 04 04 08 F0 54 45 53 53 41 4C 59 00").Result;
  ASSERT_EQ(result.Steps.size(), 2u);
  EXPECT_EQ(result.Steps[0].Response, CardBytes("61 16"));
  EXPECT_EQ(result.Steps[1].Command, CardBytes("00 C0 00 00 16"));
  EXPECT_EQ(result.Response.size(), 0x16u + 2);
  EXPECT_EQ(std::vector(result.Response.end() - 2, result.Response.end()), CardBytes("90 00"));
  const auto dataSent = std::count_if(log_.begin() + static_cast<std::ptrdiff_t>(beforeExchange), log_.end(),
                                      [](const LogRecord& record) { return record.Name == "Data sent"; });
  EXPECT_EQ(dataSent, 2) << "each physical exchange is logged";
}

TEST_F(RealStack, LayerReconnectsWithinTwoSecondsOfPcscdComingBack) {
  StartLayer();
  StartCard();
  ASSERT_TRUE(AwaitRecord("Card ready"));
  pcscd_->Kill();
  const std::size_t afterKill = log_.size();
  ASSERT_TRUE(AwaitRecord("Service disconnected", afterKill)) << "the loss of pcscd is reported";
  EXPECT_EQ(ServiceContext, 0u);
  pcscd_->Start();
  const auto back = Clock::now();
  const auto connected = AwaitRecord("Service connected", afterKill, 5s);
  ASSERT_TRUE(connected) << "the layer did not come back on its own";
  EXPECT_LE(connected->Seen - back, 2s);
  RecordProperty("ReconnectMilliseconds",
                 static_cast<int>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(connected->Seen - back).count()));
  EXPECT_TRUE(AwaitRecord("Card ready", afterKill)) << "the card is taken the whole road again";
}

}  // namespace
}  // namespace tessaly::test

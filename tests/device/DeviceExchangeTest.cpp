#include <gtest/gtest.h>

#include "DeviceLayerFixture.h"
#include "device/ApduText.h"
#include "device/PcscError.h"
#include "pcsc/PcscCodes.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

const std::string kCardReader = kReader;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return HexText(bytes);
}

class DeviceExchangeTest : public DeviceLayerTest {
 protected:
  // Opens the card with the given protocol preference and forgets the start's log.
  void StartWith(std::int32_t protocol) {
    kernel_.Settings->SetProtocol(protocol);
    layer_->Start();
    Settle();
    TakeLog();
  }

  static std::string DataSent(const std::string& sent, const std::string& received) {
    return "Data sent | " + kCardReader + " | Sent: { " + sent + " }  Received: { " + received + " }";
  }
  static std::string BeforeSending() { return "Before data sending | " + kCardReader + " | "; }
};

TEST_F(DeviceExchangeTest, UnderT0AnAnswer61xxIsFetchedWithGetResponse) {
  StartWith(1);
  ASSERT_EQ(Entry(0).CardInfo.ActiveProtocol, 1);

  const ExchangeResult result = Exchange(0, "00 A4 04 00 08 F0 54 45 53 53 41 4C 59").Result;

  ASSERT_EQ(result.Steps.size(), 2u);
  EXPECT_EQ(Hex(result.Steps[0].Command), "00 A4 04 00 08 F0 54 45 53 53 41 4C 59");
  ASSERT_EQ(result.Steps[0].Response.size(), 2u);
  EXPECT_EQ(result.Steps[0].Response[0], 0x61);
  const std::uint8_t available = result.Steps[0].Response[1];
  EXPECT_EQ(result.Steps[1].Command, (std::vector<std::uint8_t>{0x00, 0xC0, 0x00, 0x00, available}));
  EXPECT_EQ(result.Steps[1].Response.size(), available + 2u);
  EXPECT_EQ(Hex(result.Response).substr(Hex(result.Response).size() - 5), "90 00");
  EXPECT_EQ(result.Response, result.Steps.back().Response);
  // Each physical exchange is logged on its own; the kernel writes the bytes without blanks by default.
  EXPECT_EQ(
      TakeLog(),
      (Lines{BeforeSending(), DataSent("00A4040008F054455353414C59", HexText(result.Steps[0].Response, "")),
             BeforeSending(),
             DataSent(HexText(result.Steps[1].Command, ""), HexText(result.Steps[1].Response, ""))}));
}

TEST_F(DeviceExchangeTest, UnderT0AWrongLeIsRepeatedWithTheLeTheCardAsksFor) {
  StartWith(1);
  Exchange(0, "00 A4 04 0C 08 F0 54 45 53 53 41 4C 59");
  Exchange(0, "00 A4 02 0C 02 50 02");
  TakeLog();

  const ExchangeResult result = Exchange(0, "00 B2 01 04 FF").Result;

  ASSERT_EQ(result.Steps.size(), 2u);
  EXPECT_EQ(Hex(result.Steps[0].Response), "6C 1A");
  EXPECT_EQ(Hex(result.Steps[1].Command), "00 B2 01 04 1A");
  const std::string holder = "Holder=Virtual Card Holder";
  std::vector<std::uint8_t> expected(holder.begin(), holder.end());
  expected.insert(expected.end(), {0x90, 0x00});
  EXPECT_EQ(result.Response, expected);
  EXPECT_EQ(TakeLog().size(), 4u);
}

TEST_F(DeviceExchangeTest, UnderT1TheAnswerComesInOneExchangeAndFollowsTheHexSpacingPreference) {
  kernel_.Settings->SetSeparateHexBytes(true);
  StartWith(2);

  const ExchangeResult result = Exchange(0, "00 A4 00 0C 02 3F 00").Result;

  ASSERT_EQ(result.Steps.size(), 1u);
  EXPECT_EQ(Hex(result.Response), "90 00");
  EXPECT_EQ(TakeLog(), (Lines{BeforeSending(), DataSent("00 A4 00 0C 02 3F 00", "90 00")}));
  SeparateHexBytes = false;
}

TEST_F(DeviceExchangeTest, BadCommandsAreRefusedBeforeAnythingIsSent) {
  StartWith(-1);
  const std::vector<std::string> refused{
      "00 A4 0",      // odd number of digits
      "00 G4 00 00",  // not hexadecimal
      "00-A4-00-00",  // not a blank between the bytes
      "00 A4 00",     // shorter than a header
      "",
  };
  for (const std::string& command : refused) {
    EXPECT_THROW(layer_->Transmit(0, command, {}), EDeviceError) << command;
  }
  const std::vector<std::uint8_t> tooLong(kLongestCommand + 1, 0x00);
  EXPECT_THROW(layer_->Transmit(0, tooLong, {}), EDeviceError);
  EXPECT_THROW(layer_->Transmit(1, "00 A4 00 00", {}), EDeviceError);   // no reader there
  EXPECT_THROW(layer_->Transmit(-1, "00 A4 00 00", {}), EDeviceError);  // not an entry
  EXPECT_THROW(layer_->Transmit(10, "00 A4 00 00", {}), EDeviceError);

  EXPECT_TRUE(TakeLog().empty());
  const Lines journal = service_->Journal();
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "SCardTransmit"), 0);
}

TEST_F(DeviceExchangeTest, AResetReconnectsTheCardWithAReset) {
  StartWith(-1);
  Exchange(0, "00 A4 04 0C 08 F0 54 45 53 53 41 4C 59");

  layer_->ResetCard(0);
  Settle();

  EXPECT_EQ(service_->Journal().back(), "SCardReconnect(1)");
  // After the reset the master file is selected again: the application's record file is out of reach.
  EXPECT_EQ(Hex(Exchange(0, "00 A4 02 0C 02 50 02").Result.Response), "6A 82");
}

TEST_F(DeviceExchangeTest, AReconnectionTakesTheProtocolChosenAndADisconnectionTheClosingModeChosen) {
  StartWith(2);
  std::vector<std::string> ends;
  const CardDone recordEnd = [&ends](const std::string& failure) { ends.push_back(failure); };

  layer_->ReconnectCard(0, kProtocolT0, recordEnd);
  Settle();
  EXPECT_EQ(ends, std::vector<std::string>{""});
  EXPECT_EQ(service_->Journal().back(), "SCardReconnect(1)");
  EXPECT_EQ(Entry(0).CardInfo.ActiveProtocol, kProtocolT0);
  // Under T=0 the card hands its answer out through GET RESPONSE.
  EXPECT_EQ(Exchange(0, "00 A4 04 00 08 F0 54 45 53 53 41 4C 59").Result.Steps.size(), 2u);
  TakeLog();

  layer_->DisconnectCard(0, kUnpowerCard, recordEnd);
  Settle();
  EXPECT_EQ(ends.size(), 2u);
  EXPECT_EQ(service_->Journal().back(), "SCardDisconnect(2)");
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardDetected);
  const Lines closing = TakeLog();
  ASSERT_GE(closing.size(), 3u);
  EXPECT_EQ(closing[2], "Card detected | " + kCardReader + " | Card was detected in the reader");

  // A closed card is opened under the protocol chosen, whatever the reader's preference.
  kernel_.Settings->SetProtocol(kProtocolT0);
  layer_->ReconnectCard(0, kProtocolT1, recordEnd);
  Settle();
  EXPECT_EQ(ends, (std::vector<std::string>{"", "", ""}));
  EXPECT_TRUE(layer_->CardOpen(0));
  EXPECT_EQ(Entry(0).CardInfo.ActiveProtocol, kProtocolT1);
  EXPECT_EQ(Exchange(0, "00 A4 04 00 08 F0 54 45 53 53 41 4C 59").Result.Steps.size(), 1u);
}

TEST_F(DeviceExchangeTest, CardOperationsOutOfPlaceAreRefusedAtOnce) {
  StartWith(2);
  EXPECT_THROW(layer_->ReconnectCard(0, kProtocolRaw), EDeviceError);
  EXPECT_THROW(layer_->DisconnectCard(0, 4), EDeviceError);
  EXPECT_THROW(layer_->ReconnectCard(1, kProtocolT1), EDeviceError);
  layer_->DisconnectCard(0, kLeaveCard);
  Settle();
  EXPECT_EQ(service_->Journal().back(), "SCardDisconnect(0)");
  EXPECT_THROW(layer_->DisconnectCard(0, kLeaveCard), EDeviceError);
  EXPECT_THROW(layer_->ResetCard(0), EDeviceError);

  service_->RemoveCard();
  Settle();
  EXPECT_THROW(layer_->ReconnectCard(0, kProtocolT1), EDeviceError);
  const Lines journal = service_->Journal();
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "SCardReconnect(1)"), 0);
}

}  // namespace
}  // namespace tessaly::test

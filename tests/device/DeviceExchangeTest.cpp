#include <gtest/gtest.h>

#include "DeviceLayerFixture.h"
#include "device/ApduText.h"
#include "device/PcscError.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

const std::string kCardReader = kReader;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return HexBytes(bytes, true);
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
      (Lines{BeforeSending(),
             DataSent("00A4040008F054455353414C59", HexBytes(result.Steps[0].Response, false)),
             BeforeSending(),
             DataSent(HexBytes(result.Steps[1].Command, false), HexBytes(result.Steps[1].Response, false))}));
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

}  // namespace
}  // namespace tessaly::test

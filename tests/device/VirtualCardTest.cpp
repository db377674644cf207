#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CardBytes.h"
#include "device/VirtualCard.h"

namespace tessaly {
namespace {

using test::CardBytes;

constexpr std::uint32_t kT0 = 1;
constexpr std::uint32_t kT1 = 2;

struct Exchange {
  std::string Command;
  std::string Response;
};

struct Scenario {
  const char* Name;
  std::uint32_t Protocol;
  std::vector<Exchange> Exchanges;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.Name;
}

class VirtualCardExchanges : public testing::TestWithParam<Scenario> {};

// Each scenario runs on a fresh card; every command must get exactly its response.
TEST_P(VirtualCardExchanges, AnswerEachCommandAsExpected) {
  VirtualCard card;
  card.SetProtocol(GetParam().Protocol);
  for (const auto& [command, response] : GetParam().Exchanges) {
    EXPECT_EQ(card.Transmit(CardBytes(command)), CardBytes(response)) << "command " << command;
  }
}

constexpr const char* kSelectApplication = "00 A4 04 0C 08 F0 'TESSALY'";
constexpr const char* kApplicationFcp = "62 14 82 01 38 83 02 50 00 84 08 F0 'TESSALY' 8A 01 05";
constexpr const char* kWrongPin = "00 20 00 81 04 '9999'";
constexpr const char* kRightPin = "00 20 00 81 04 '1234'";

INSTANTIATE_TEST_SUITE_P(
    T1, VirtualCardExchanges,
    testing::Values(
        Scenario{"SelectMasterFileByIdentifier", kT1, {{"00 A4 00 0C 02 3F 00", "90 00"}}},
        Scenario{"SelectMasterFileWithFci",
                 kT1,
                 {{"00 A4 00 00 00", "6F 0A 82 01 38 83 02 3F 00 8A 01 05 90 00"}}},
        Scenario{"SelectApplicationByAidWithFcp",
                 kT1,
                 {{"00 A4 04 04 08 F0 'TESSALY' 00", std::string(kApplicationFcp) + " 90 00"}}},
        Scenario{"SelectWithoutLeReturnsNoData", kT1, {{"00 A4 04 04 08 F0 'TESSALY'", "90 00"}}},
        Scenario{"SelectByPathThenReadRecord",
                 kT1,
                 {{"00 A4 08 0C 04 50 00 50 02", "90 00"},
                  {"00 B2 01 04 00", "'Holder=Virtual Card Holder' 90 00"}}},
        Scenario{"SelectChildEfAfterApplication",
                 kT1,
                 {{kSelectApplication, "90 00"},
                  {"00 A4 02 0C 02 50 01", "90 00"},
                  {"00 B0 00 00 04", "'This' 90 00"}}},
        Scenario{"SelectMissingFiles",
                 kT1,
                 {{"00 A4 00 0C 02 12 34", "6A 82"},
                  {"00 A4 04 0C 03 A0 00 01", "6A 82"},
                  {"00 A4 01 0C 02 2F 01", "6A 82"},
                  {"00 A4 03 0C", "6A 82"}}},
        Scenario{"SelectWrongParameters",
                 kT1,
                 {{"00 A4 07 0C 02 3F 00", "6A 86"},
                  {"00 A4 00 01 02 3F 00", "6A 86"},
                  {"00 A4 00 0C 03 3F 00 01", "67 00"}}},
        Scenario{"ReadBinaryNeedsACurrentTransparentEf",
                 kT1,
                 {{"00 B0 00 00 05", "69 86"},
                  {"00 A4 08 0C 04 50 00 50 02", "90 00"},
                  {"00 B0 00 00 05", "69 81"}}},
        Scenario{"ReadBinaryAtOffsets",
                 kT1,
                 {{"00 A4 02 0C 02 2F 01", "90 00"},
                  {"00 B0 00 00 05", "'Tessa' 90 00"},
                  {"00 B0 00 38 00", "'0001.' 90 00"},
                  {"00 B0 00 38 08", "'0001.' 62 82"},
                  {"00 B0 00 3D 01", "6B 00"},
                  {"00 B0 00 00", "67 00"},
                  {"00 B0 81 00 01", "6A 81"}}},
        Scenario{"ReadRecords",
                 kT1,
                 {{"00 A4 08 0C 04 50 00 50 02", "90 00"},
                  {"00 B2 02 04 00", "'Issuer=Orvane' 90 00"},
                  {"00 B2 03 04 05", "'Valid' 90 00"},
                  {"00 B2 04 04 00", "6A 83"},
                  {"00 B2 00 04 00", "6A 83"},
                  {"00 B2 01 0C 00", "6A 86"}}},
        Scenario{"UpdateBinaryNeedsThePin",
                 kT1,
                 {{"00 A4 08 0C 04 50 00 50 01", "90 00"},
                  {"00 D6 00 00 04 'That'", "69 82"},
                  {kRightPin, "90 00"},
                  {"00 D6 00 00 04 'That'", "90 00"},
                  {"00 B0 00 00 07", "'That is' 90 00"},
                  {"00 D6 01 47 02 'xx'", "6A 84"},
                  {"00 D6 01 48 01 'x'", "6B 00"}}},
        Scenario{"PinRetryCounterRunsOutThenBlocks",
                 kT1,
                 {{"00 20 00 81", "63 C3"},
                  {kWrongPin, "63 C2"},
                  {kWrongPin, "63 C1"},
                  {kWrongPin, "63 C0"},
                  {kRightPin, "69 83"},
                  {"00 20 00 81", "69 83"}}},
        Scenario{"AWrongPinAfterTheRightOneLocksTheFileAgain",
                 kT1,
                 {{"00 A4 08 0C 04 50 00 50 01", "90 00"},
                  {kRightPin, "90 00"},
                  {kWrongPin, "63 C2"},
                  {"00 D6 00 00 04 'That'", "69 82"}}},
        Scenario{
            "RightPinRestoresTheTries",
            kT1,
            {{kWrongPin, "63 C2"}, {kRightPin, "90 00"}, {"00 20 00 81", "90 00"}, {kWrongPin, "63 C2"}}},
        Scenario{"VerifyWrongReference",
                 kT1,
                 {{"00 20 00 01 04 '1234'", "6A 88"}, {"00 20 01 81 04 '1234'", "6A 86"}}},
        Scenario{
            "UnknownInstructionAndClass",
            kT1,
            {{"00 CA 00 00 00", "6D 00"}, {"80 A4 00 0C 02 3F 00", "6E 00"}, {"FF B0 00 00 01", "6E 00"}}},
        Scenario{"MalformedCommands",
                 kT1,
                 {{"00 A4 00", "67 00"},
                  {"", "67 00"},
                  {"00 A4 00 0C 05 3F 00", "67 00"},
                  {"00 A4 00 0C 00 00", "67 00"},
                  {"00 B0 00 00 00 00", "67 00"}}},
        Scenario{"GetResponseWithNothingPending", kT1, {{"00 C0 00 00 10", "69 85"}}},
        Scenario{"GetChallengeParameters", kT1, {{"00 84 00 01 08", "6A 86"}, {"00 84 00 00", "67 00"}}}),
    [](const auto& info) { return std::string(info.param.Name); });

INSTANTIATE_TEST_SUITE_P(
    T0, VirtualCardExchanges,
    testing::Values(
        Scenario{"CaseFourAnsweredWith61",
                 kT0,
                 {{"00 A4 04 04 08 F0 'TESSALY' 00", "61 16"},
                  {"00 C0 00 00 16", std::string(kApplicationFcp) + " 90 00"}}},
        Scenario{"CaseThreeWithDataAnsweredWith61", kT0, {{"00 A4 00 04 02 3F 00", "61 0C"}}},
        Scenario{"CaseThreeWithoutDataAnsweredDirectly", kT0, {{kSelectApplication, "90 00"}}},
        Scenario{"WrongLeAnsweredWith6C",
                 kT0,
                 {{"00 A4 08 0C 04 50 00 50 02", "90 00"},
                  {"00 B2 01 04 00", "6C 1A"},
                  {"00 B2 01 04 1A", "'Holder=Virtual Card Holder' 90 00"}}},
        Scenario{"GetResponseInParts",
                 kT0,
                 {{"00 A4 00 04 02 3F 00", "61 0C"},
                  {"00 C0 00 00 20", "6C 0C"},
                  {"00 C0 00 00 08", "62 0A 82 01 38 83 02 3F 61 04"},
                  {"00 C0 00 00 04", "00 8A 01 05 90 00"},
                  {"00 C0 00 00 04", "69 85"}}},
        Scenario{"AnotherCommandDropsThePendingResponse",
                 kT0,
                 {{"00 A4 00 04 02 3F 00", "61 0C"}, {"00 20 00 81", "63 C3"}, {"00 C0 00 00 0C", "69 85"}}},
        Scenario{
            "ErrorsAreNotDeferred", kT0, {{"00 A4 00 04 02 12 34", "6A 82"}, {"00 B0 00 00 05", "69 86"}}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(VirtualCardAtr, IsWellFormedAndOffersBothProtocols) {
  const auto& atr = VirtualCard().Atr();
  ASSERT_GE(atr.size(), 3u);
  EXPECT_EQ(atr[0], 0x3B);
  const std::size_t historicalCount = atr[1] & 0x0F;
  std::vector<int> protocols;
  std::size_t i = 1;
  std::uint8_t indicator = atr[1];
  for (;;) {
    const int present = std::popcount(static_cast<unsigned>(indicator & 0xF0));
    ASSERT_LT(i + present, atr.size());
    i += present;
    if ((indicator & 0x80) == 0) break;
    indicator = atr[i];
    protocols.push_back(indicator & 0x0F);
  }
  EXPECT_EQ(protocols, (std::vector<int>{0, 1}));
  ASSERT_EQ(atr.size(), i + 1 + historicalCount + 1) << "interface bytes, historical bytes and TCK";
  EXPECT_EQ(std::string(atr.end() - 11, atr.end() - 1), "Tessaly VC");
  std::uint8_t check = 0;
  for (std::size_t k = 1; k < atr.size(); ++k) check ^= atr[k];
  EXPECT_EQ(check, 0) << "TCK makes T0..TCK exclusive-or to zero";
}

TEST(VirtualCardReset, SelectsTheMasterFileAndForgetsThePinButNotItsTries) {
  VirtualCard card;
  card.Transmit(CardBytes(kWrongPin));
  card.Transmit(CardBytes(kRightPin));
  card.Transmit(CardBytes(kWrongPin));
  card.Transmit(CardBytes(kRightPin));
  card.Transmit(CardBytes("00 A4 08 0C 04 50 00 50 01"));
  card.Transmit(CardBytes(kWrongPin));
  card.Reset();
  EXPECT_EQ(card.Transmit(CardBytes("00 B0 00 00 01")), CardBytes("69 86")) << "no EF is current";
  EXPECT_EQ(card.Transmit(CardBytes("00 20 00 81")), CardBytes("63 C2")) << "one try used before the reset";
  EXPECT_EQ(card.Transmit(CardBytes("00 A4 02 0C 02 2F 01")), CardBytes("90 00")) << "MF is current";
}

TEST(VirtualCardReset, DropsAPendingResponse) {
  VirtualCard card;
  card.SetProtocol(kT0);
  ASSERT_EQ(card.Transmit(CardBytes("00 A4 00 04 02 3F 00")), CardBytes("61 0C"));
  card.Reset();
  EXPECT_EQ(card.Transmit(CardBytes("00 C0 00 00 0C")), CardBytes("69 85"));
}

TEST(VirtualCardLongAnswers, ShortLeReadsAtMost256AndExtendedLeReadsTheRest) {
  VirtualCard card;
  card.Transmit(CardBytes("00 A4 08 0C 04 50 00 50 01"));
  EXPECT_EQ(card.Transmit(CardBytes("00 B0 00 00 00")).size(), 256u + 2);
  const auto whole = card.Transmit(CardBytes("00 B0 00 00 00 01 48"));
  ASSERT_EQ(whole.size(), 328u + 2);
  EXPECT_EQ(std::string(whole.end() - 11, whole.end() - 2), "commands.");
  card.SetProtocol(kT0);
  EXPECT_EQ(card.Transmit(CardBytes("00 B0 00 00 00")).size(), 256u + 2) << "more than 256 left: no 6Cxx";
}

TEST(VirtualCardChallenge, GivesLeRandomBytes) {
  VirtualCard card;
  const auto first = card.Transmit(CardBytes("00 84 00 00 08"));
  const auto second = card.Transmit(CardBytes("00 84 00 00 08"));
  ASSERT_EQ(first.size(), 10u);
  EXPECT_EQ(std::vector<std::uint8_t>(first.end() - 2, first.end()), CardBytes("90 00"));
  EXPECT_NE(first, second);
}

TEST(VirtualCardProtocol, RefusesAnUnknownProtocol) {
  VirtualCard card;
  EXPECT_THROW(card.SetProtocol(0), EVirtualCardError);
  EXPECT_THROW(card.SetProtocol(4), EVirtualCardError);
}

}  // namespace
}  // namespace tessaly

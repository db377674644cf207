#include <stdexcept>

#include "ConnectionFixture.h"

namespace tessaly::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::IsEmpty;

using CardTypeLoading = ConnectionFixture;

TEST_F(CardTypeLoading, AtrWithBlanksAndLowerCaseFindsItsCardTypeAndLoadsIt) {
  std::uint8_t stateWhenResolved = 0;
  connection_.SetOnCardTypeResolved(
      [&](TConnection&, const std::string& reader, TCardInfo& card, TReaderHead&) {
        stateWhenResolved = card.CardState;
        resolved_.push_back(reader + ": " + card.Preferences.CardTypeName);
      });
  device_.StartSession({"Reader A"});
  device_.InsertCard(0, "3b 02 14 50");

  const TCardInfo& card = ReaderTable[0].CardInfo;
  EXPECT_THAT(resolved_, ElementsAre("Reader A: Bank Card"));
  EXPECT_EQ(stateWhenResolved, csCardReady);
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(card.Preferences.CardTypeName, kBankType);
  EXPECT_EQ(card.Preferences.ATRs, "3B 02 14 50\r\n");
  EXPECT_EQ(card.Preferences.WindowPreferences.DefaultAPDU.DataIn, "3F 00");
  EXPECT_THAT(CommandNames(device_.Templates(0)), ElementsAre("GET DATA"));
  EXPECT_TRUE(device_.Templates(0).StatusWords.Locate("SW", "6A82"));
  EXPECT_THAT(assigned_, IsEmpty());
}

TEST_F(CardTypeLoading, UnlistedAtrJoinsTheDefaultCardTypeAndASecondDetectionNeedsNoAssignment) {
  device_.StartSession({"Reader A"});
  device_.InsertCard(0, "3B 99 00 01");

  const TCardInfo& card = ReaderTable[0].CardInfo;
  EXPECT_THAT(assigned_, ElementsAre("3B990001"));
  EXPECT_THAT(settings_->GetCardTypeATRs(kDefaultType), ElementsAre("3B990001"));
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(card.Preferences.CardTypeName, kDefaultType);
  EXPECT_THAT(CommandNames(device_.Templates(0)), ElementsAre("READ BINARY", "SELECT FILE"));
  // Once by the load nested in the assignment's refresh, once by the load that follows the assignment.
  EXPECT_THAT(resolved_, ElementsAre("Reader A: " + kDefaultType, "Reader A: " + kDefaultType));
  const TPreferencesATRRec nested = card.Preferences;

  device_.RemoveCard(0);
  resolved_.clear();
  device_.InsertCard(0, "3b990001");
  EXPECT_THAT(assigned_, ElementsAre("3B990001"));
  EXPECT_THAT(resolved_, ElementsAre("Reader A: " + kDefaultType));
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(card.Preferences.ATRs, nested.ATRs);
  EXPECT_EQ(card.Preferences.WindowPreferences.TemplatesCOS, nested.WindowPreferences.TemplatesCOS);
}

TEST_F(CardTypeLoading, AssignmentRefreshResolvesTheOtherReadersDuringTheOuterLoad) {
  device_.StartSession({"Reader A", "Reader B", "Reader C"});
  PlaceCard(1, "3B 77");     // the same unlisted ATR as the card inserted below
  PlaceCard(2, "3B 88 01");  // an unlisted ATR of its own
  device_.InsertCard(0, "3B77");

  EXPECT_THAT(assigned_, ElementsAre("3B77", "3B8801"));
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(ReaderTable[n].CardInfo.CardState, csCardTypeLoaded) << n;
    EXPECT_EQ(ReaderTable[n].CardInfo.Preferences.CardTypeName, kDefaultType) << n;
  }
  EXPECT_THAT(CommandNames(device_.Templates(2)), ElementsAre("READ BINARY", "SELECT FILE"));
}

TEST_F(CardTypeLoading, MissingDefaultCardTypeEndsEachUnlistedLoadUnresolved) {
  // No key matches the default name exactly, so the assigned ATRs are stored nowhere.
  settings_->SetDefaultCardTypeName("iso-7816 smart card");
  device_.StartSession({"Reader A", "Reader B", "Reader C", "Reader D"});
  PlaceCard(0, "3B 01");
  PlaceCard(1, "3B 02");
  PlaceCard(2, "3B 03");
  PlaceCard(3, "3B 02 14 50");

  connection_.RefreshAllReaders();

  EXPECT_THAT(assigned_, ElementsAre("3B01", "3B02", "3B03"));
  // Every refresh nested in an assignment resolves reader D again.
  EXPECT_THAT(resolved_, Each(Eq("Reader D: " + kBankType)));
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(ReaderTable[n].CardInfo.CardState, csCardReady) << n;
    EXPECT_EQ(ReaderTable[n].CardInfo.Preferences.CardTypeName, "") << n;
  }
  EXPECT_EQ(ReaderTable[3].CardInfo.CardState, csCardTypeLoaded);
  EXPECT_THAT(settings_->GetATRIndex(), ElementsAre("3B021450=" + kBankType));

  assigned_.clear();
  device_.InsertCard(0, "3B 04");
  EXPECT_THAT(assigned_, ElementsAre("3B04", "3B02", "3B03"));
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardReady);
}

TEST_F(CardTypeLoading, AWithheldATRStaysWithoutCardTypeUntilItsCardLeaves) {
  device_.StartSession({"Reader A"});
  device_.InsertCard(0, "3B 99 00 01");
  ASSERT_EQ(ReaderTable[0].CardInfo.Preferences.CardTypeName, kDefaultType);

  connection_.WithholdATR("3b990001");
  WriteCardType(kDefaultType, "", "ISO");
  EXPECT_EQ(ReaderTable[0].CardInfo.Preferences.CardTypeName, "");
  EXPECT_EQ(device_.Templates(0).Commands.Count(), 0u);
  // Closed and opened again as the device layer does it: a detected card in between.
  ReaderTable[0].CardInfo.CardState = csCardDetected;
  connection_.LoadCardType(0);
  device_.InsertCard(0, "3B 99 00 01");
  EXPECT_THAT(settings_->GetCardTypeATRs(kDefaultType), IsEmpty());

  device_.RemoveCard(0);
  device_.InsertCard(0, "3B 99 00 01");
  EXPECT_THAT(settings_->GetCardTypeATRs(kDefaultType), ElementsAre("3B990001"));
  EXPECT_EQ(ReaderTable[0].CardInfo.Preferences.CardTypeName, kDefaultType);
}

TEST_F(CardTypeLoading, AtrOfBlanksOnlyEndsUnresolvedAfterOneAssignment) {
  device_.StartSession({"Reader A"});
  device_.InsertCard(0, "   ");
  EXPECT_THAT(assigned_, ElementsAre(""));
  EXPECT_THAT(resolved_, IsEmpty());
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardReady);
}

TEST_F(CardTypeLoading, ZeroServiceContextChangesNoCardRecord) {
  device_.StartSession({"Reader A", "Reader B"});
  ServiceContext = 0;
  ReaderTable[0].CardInfo.CardState = csCardDetected;
  ReaderTable[0].CardInfo.ATR = "3B 01";
  PlaceCard(1, "3B021450");

  connection_.RefreshAllReaders();

  EXPECT_EQ(ReaderTable[0].CardInfo.ATR, "3B 01");
  EXPECT_EQ(ReaderTable[1].CardInfo.CardState, csCardReady);
  EXPECT_THAT(resolved_, IsEmpty());
}

TEST_F(CardTypeLoading, AReaderNumberOutsideTheTableChangesNothingOnAConnectedService) {
  device_.StartSession({"Reader A", "Reader B"});
  ReaderTable[0].CardInfo.CardState = csCardDetected;
  ReaderTable[0].CardInfo.ATR = "3B 01";
  PlaceCard(1, "3B021450");
  const auto before = ReaderTable;

  connection_.LoadCardType(10);
  connection_.LoadCardType(-1);

  for (std::size_t i = 0; i < kReaderCount; ++i) {
    EXPECT_EQ(ReaderTable[i].CardInfo.ATR, before[i].CardInfo.ATR) << i;
    EXPECT_EQ(ReaderTable[i].CardInfo.CardState, before[i].CardInfo.CardState) << i;
    EXPECT_EQ(ReaderTable[i].CardInfo.Preferences.CardTypeName, before[i].CardInfo.Preferences.CardTypeName)
        << i;
  }
  EXPECT_THAT(resolved_, IsEmpty());
  EXPECT_THAT(assigned_, IsEmpty());
}

TEST_F(CardTypeLoading, BelowConnectedStateOnlyReadersWithoutUsableCardAreCleared) {
  device_.StartSession({"Reader A", "Reader B"});
  device_.InsertCard(0, "3B021450", 2, {"Vendor=Orvane"});
  connection_.ConnectionState = 1;
  TCardInfo& card = ReaderTable[0].CardInfo;
  card.CardState = csCardDetected;
  PlaceCard(1, "3B021450");
  resolved_.clear();

  connection_.RefreshAllReaders();

  EXPECT_EQ(card.ATR, "");
  EXPECT_EQ(card.Preferences.CardTypeName, "");
  EXPECT_EQ(card.Preferences.ATRs, "");
  EXPECT_EQ(card.Preferences.BaseType, 1);
  EXPECT_THAT(*card.InfoList, IsEmpty());
  EXPECT_EQ(device_.Templates(0).Commands.Count(), 0u);
  EXPECT_EQ(card.CardState, csCardDetected);
  EXPECT_EQ(ReaderTable[1].CardInfo.CardState, csCardReady);
  EXPECT_THAT(resolved_, IsEmpty());
}

TEST_F(CardTypeLoading, SuppressedEventStillLoadsAndAnAssignmentLiftsTheSuppression) {
  device_.StartSession({"Reader A", "Reader B"});
  connection_.SuppressCardTypeEvent = true;
  device_.InsertCard(0, "3B021450");
  EXPECT_THAT(resolved_, IsEmpty());
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardTypeLoaded);
  EXPECT_THAT(CommandNames(device_.Templates(0)), ElementsAre("GET DATA"));
  EXPECT_TRUE(connection_.SuppressCardTypeEvent);

  device_.InsertCard(1, "3B 55");
  EXPECT_FALSE(connection_.SuppressCardTypeEvent);
  // The loads nested in the assignment still ran suppressed; the load after it did not.
  EXPECT_THAT(resolved_, ElementsAre("Reader B: " + kDefaultType));
}

TEST_F(CardTypeLoading, FailingCommandTemplateStillMarksTheCardLoaded) {
  device_.StartSession({"Reader A"});
  device_.Templates(0).SetOnBeforeLoad([](void*, std::uint32_t, bool isCommandTable, const std::string&) {
    if (isCommandTable) throw std::runtime_error("command template unreadable");
  });
  device_.InsertCard(0, "3B021450");

  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardTypeLoaded);
  EXPECT_EQ(ReaderTable[0].CardInfo.Preferences.CardTypeName, kBankType);
  EXPECT_EQ(device_.Templates(0).StatusWords.Count(), 0u);
  EXPECT_THAT(errorBoxes_.Texts(), IsEmpty());
}

TEST_F(CardTypeLoading, StoreIsLookedUpAtEveryUseThroughTheKernelField) {
  device_.StartSession({"Reader A"});
  const auto store = std::move(settings_);
  device_.InsertCard(0, "3B021450");
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardReady);
  EXPECT_THAT(resolved_, IsEmpty());

  settings_ = std::make_unique<TRegistrySettings>(0);
  connection_.LoadCardType(0);
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csCardTypeLoaded);
  EXPECT_THAT(resolved_, ElementsAre("Reader A: " + kBankType));
}

TEST_F(CardTypeLoading, SharedAtrBelongsToTheCardTypeWhoseLineSortsFirst) {
  WriteCardType("Gamma", "3B 02 14\r\n", "Bank");
  WriteCardType("beta", "3b 02\r\n", "Bank");
  WriteCardType("Alpha", "3B 02\r\n", "Bank");
  connection_.ReloadATRTypes();

  EXPECT_THAT(connection_.ATRTypes,
              ElementsAre("3B021450=" + kBankType, "3B0214=Gamma", "3B02=Alpha", "3b02=beta"));
  EXPECT_EQ(connection_.FindCardType("3b 02"), "Alpha");
  EXPECT_EQ(connection_.FindCardType("3B0214"), "Gamma");
  EXPECT_EQ(connection_.FindCardType("3B"), "");
  EXPECT_EQ(connection_.FindCardType("3B02=Alpha"), "");
}

}  // namespace
}  // namespace tessaly::test

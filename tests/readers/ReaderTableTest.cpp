#include "readers/ReaderTable.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ReaderTableFixture.h"
#include "TempDir.h"
#include "pcsc/PcscCodes.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {
namespace {

using ReaderParams = test::ReaderTableTest;

// Every field differs from its zeroed value and from the others, so a field left out of a copy shows.
TConnectParams SampleParams() {
  return {.StatusFlag = 7,
          .AutoOpen = true,
          .Protocol = kProtocolT1,
          .ShareMode = kShareDirect,
          .ClosingMode = kEjectCard};
}

void ExpectSameFields(const TConnectParams& actual, const TConnectParams& expected) {
  EXPECT_EQ(actual.StatusFlag, expected.StatusFlag);
  EXPECT_EQ(actual.AutoOpen, expected.AutoOpen);
  EXPECT_EQ(actual.Protocol, expected.Protocol);
  EXPECT_EQ(actual.ShareMode, expected.ShareMode);
  EXPECT_EQ(actual.ClosingMode, expected.ClosingMode);
}

// Each test runs in a process of its own, so this sees the table as the process starts.
TEST(ReaderTableStart, ProcessStartsWithTenZeroedEntries) {
  ASSERT_EQ(ReaderTable.size(), 10u);
  EXPECT_EQ(ServiceContext, 0u);
  EXPECT_EQ(OnDetectParams, TConnectParams{});
  for (const TReaderHead& entry : ReaderTable) {
    EXPECT_TRUE(entry.ReaderName.empty());
    EXPECT_EQ(entry.ReaderInUse, 0u);
    EXPECT_EQ(entry.CardInfo.CardState, csNoCard);
    EXPECT_EQ(entry.CardInfo.InfoList, nullptr);
    EXPECT_EQ(entry.Templates, nullptr);
    EXPECT_TRUE(entry.CardInfo.ATR.empty());
    EXPECT_EQ(entry.CurrentParams, TConnectParams{});
    EXPECT_EQ(entry.DetectParams, TConnectParams{});
  }
}

// One row a card state: whether the pages see a card at all, and an open one.
TEST(ReaderCard, ACardIsHeldFromItsDetectionOnAndOpenFromReadyOn) {
  struct Row {
    TCardState State;
    bool Held;
    bool Open;
  };
  const Row rows[] = {{csNoCard, false, false},      {csWaitingForCard, false, false},
                      {csCardDetected, true, false}, {csCardInvalid, true, false},
                      {csCardReady, true, true},     {csCardTypeLoaded, true, true}};
  for (const Row& row : rows) {
    TReaderHead reader;
    reader.ReaderInUse = 1;
    reader.CardInfo.CardState = row.State;
    EXPECT_EQ(HoldsCard(reader), row.Held) << int{row.State};
    EXPECT_EQ(HoldsOpenCard(reader), row.Open) << int{row.State};
    reader.ReaderInUse = 0;
    EXPECT_FALSE(HoldsCard(reader) || HoldsOpenCard(reader)) << "a reader that is gone holds nothing";
  }
}

TEST_F(ReaderParams, DetectParamsThenResetCopiesEveryField) {
  const TConnectParams params = SampleParams();
  SetReaderDetectParams(4, params);
  ExpectSameFields(ReaderTable[4].DetectParams, params);
  ExpectSameFields(ReaderTable[4].CurrentParams, TConnectParams{});

  ResetReaderParams(4);
  ExpectSameFields(ReaderTable[4].CurrentParams, params);
  ExpectSameFields(ReaderTable[4].DetectParams, params);
}

TEST_F(ReaderParams, OnlyTheNamedEntryChanges) {
  SetReaderDetectParams(0, SampleParams());
  ResetReaderParams(0);
  SetReaderDetectParams(9, SampleParams());
  for (int i = 1; i < 9; ++i) {
    EXPECT_EQ(ReaderTable[i].DetectParams, TConnectParams{}) << i;
    EXPECT_EQ(ReaderTable[i].CurrentParams, TConnectParams{}) << i;
  }
  EXPECT_EQ(ReaderTable[9].DetectParams, SampleParams());
  EXPECT_EQ(ReaderTable[9].CurrentParams, TConnectParams{});
}

TEST_F(ReaderParams, ResetReplacesParamsTheDeviceLayerChanged) {
  SetReaderDetectParams(2, SampleParams());
  ReaderTable[2].CurrentParams = {.StatusFlag = 1,
                                  .AutoOpen = false,
                                  .Protocol = kProtocolRaw,
                                  .ShareMode = kShareExclusive,
                                  .ClosingMode = kLeaveCard};
  ResetReaderParams(2);
  ExpectSameFields(ReaderTable[2].CurrentParams, SampleParams());
}

TEST_F(ReaderParams, IndexOutsideTheTableChangesNothing) {
  for (int n : {-1, 10, 11, INT32_MIN}) {
    SetReaderDetectParams(n, SampleParams());
    ResetReaderParams(n);
  }
  for (const TReaderHead& entry : ReaderTable) {
    EXPECT_EQ(entry.DetectParams, TConnectParams{});
    EXPECT_EQ(entry.CurrentParams, TConnectParams{});
  }
}

class CardDataReset : public test::ReaderTableTest {
 protected:
  const std::vector<std::string> readers_ = {"Reader A", "Reader B", "Reader C"};
  std::vector<std::string> infoLines_ = {"Card", "Serial=0042"};

  // Entry n holds a resolved card in the given state, with every field set.
  TReaderHead& FillEntry(int n, std::uint8_t state) {
    TReaderHead& entry = ReaderTable[n];
    entry.ReaderName = readers_[n];
    entry.ReaderInUse = 1;
    entry.CurrentParams = SampleParams();
    entry.DetectParams = SampleParams();
    TCardInfo& card = entry.CardInfo;
    card.DeviceWord = 0xDEAD;
    card.CardState = state;
    card.ActiveProtocol = kProtocolT0;
    card.ATR = "3B 02 14 50";
    card.InfoList = &infoLines_;
    card.Preferences.WindowPreferences.TemplatesCOS = "$(WorkDir)\\Templates\\iso.cct";
    card.Preferences.WindowPreferences.TemplatesSW = "$(WorkDir)\\Templates\\iso.swt";
    card.Preferences.WindowPreferences.DefaultAPDU.Cla = "00";
    card.Preferences.ATRs = "3B 02 14 50\r\n";
    card.Preferences.CardTypeName = "GSM SIM Card";
    card.Preferences.BaseType = 2;
    return entry;
  }

  // The fields that a reset leaves alone keep what FillEntry gave them.
  void ExpectUntouchedFields(const TReaderHead& entry, std::uint8_t state) {
    EXPECT_EQ(entry.ReaderInUse, 1u);
    EXPECT_EQ(entry.CurrentParams, SampleParams());
    EXPECT_EQ(entry.DetectParams, SampleParams());
    EXPECT_EQ(entry.CardInfo.DeviceWord, 0xDEADu);
    EXPECT_EQ(entry.CardInfo.CardState, state);
    EXPECT_EQ(entry.CardInfo.ActiveProtocol, kProtocolT0);
    const TReaderWindowPreferences& window = entry.CardInfo.Preferences.WindowPreferences;
    EXPECT_EQ(window.TemplatesCOS, "$(WorkDir)\\Templates\\iso.cct");
    EXPECT_EQ(window.TemplatesSW, "$(WorkDir)\\Templates\\iso.swt");
    EXPECT_EQ(window.DefaultAPDU.Cla, "00");
  }

  void ExpectCardDataKept(const TReaderHead& entry) {
    EXPECT_EQ(entry.CardInfo.ATR, "3B 02 14 50");
    EXPECT_EQ(entry.CardInfo.Preferences.ATRs, "3B 02 14 50\r\n");
    EXPECT_EQ(entry.CardInfo.Preferences.CardTypeName, "GSM SIM Card");
    EXPECT_EQ(entry.CardInfo.Preferences.BaseType, 2);
    EXPECT_EQ(infoLines_.size(), 2u);
  }
};

TEST_F(CardDataReset, ClearsTheCardOfAReaderWithoutAUsableCard) {
  for (std::uint8_t state : {csNoCard, csWaitingForCard, csCardDetected, csCardInvalid}) {
    infoLines_ = {"Card", "Serial=0042"};
    TReaderHead& entry = FillEntry(1, state);
    ResetCardData(readers_, 1);

    EXPECT_TRUE(entry.CardInfo.ATR.empty()) << int{state};
    EXPECT_TRUE(entry.CardInfo.Preferences.CardTypeName.empty()) << int{state};
    EXPECT_TRUE(entry.CardInfo.Preferences.ATRs.empty()) << int{state};
    EXPECT_EQ(entry.CardInfo.Preferences.BaseType, 1) << int{state};
    EXPECT_EQ(entry.CardInfo.InfoList, &infoLines_) << "the list object stays attached";
    EXPECT_TRUE(infoLines_.empty()) << int{state};
    ExpectUntouchedFields(entry, state);
  }
}

TEST_F(CardDataReset, ClearsAnEntryWithoutInfoListOrTemplates) {
  TReaderHead& entry = FillEntry(0, csNoCard);
  entry.CardInfo.InfoList = nullptr;
  ResetCardData(readers_, 0);

  EXPECT_TRUE(entry.CardInfo.ATR.empty());
  EXPECT_TRUE(entry.CardInfo.Preferences.CardTypeName.empty());
  EXPECT_TRUE(entry.CardInfo.Preferences.ATRs.empty());
  EXPECT_EQ(entry.CardInfo.Preferences.BaseType, 1);
  EXPECT_EQ(infoLines_.size(), 2u);
  ExpectUntouchedFields(entry, csNoCard);
}

TEST_F(CardDataReset, KeepsThePresentCard) {
  for (std::uint8_t state : std::initializer_list<std::uint8_t>{csCardReady, csCardTypeLoaded, 200}) {
    const TReaderHead& entry = FillEntry(2, state);
    ResetCardData(readers_, 2);
    ExpectCardDataKept(entry);
    ExpectUntouchedFields(entry, state);
  }
}

TEST_F(CardDataReset, LeavesAReaderBeyondTheReaderListAlone) {
  std::vector<std::string> longList = readers_;
  longList.push_back("Reader D");
  FillEntry(0, csNoCard);
  ReaderTable[3] = ReaderTable[0];

  ResetCardData(readers_, 3);
  ExpectCardDataKept(ReaderTable[3]);

  ResetCardData({}, 0);
  ExpectCardDataKept(ReaderTable[0]);

  ResetCardData(longList, 3);
  EXPECT_TRUE(ReaderTable[3].CardInfo.ATR.empty());
}

TEST_F(CardDataReset, IndexOutsideTheTableIsIgnoredEvenWithAnOverlongReaderList) {
  const std::vector<std::string> elevenNames(11, "Reader");
  FillEntry(0, csNoCard);
  for (int n : {-1, 10, INT32_MIN, INT32_MAX}) ResetCardData(elevenNames, n);
  ExpectCardDataKept(ReaderTable[0]);
}

// A reader with loaded command and status-word tables.
class TemplatesReset : public CardDataReset {
 protected:
  void SetUp() override {
    CardDataReset::SetUp();
    templates_.LoadCommandTemplate(Write("iso.cct", "+\tA0\tA4\tSELECT FILE\n"));
    templates_.LoadStatusWordTemplate(Write("iso.swt", "+\t90\t00\t00FF00\tOK\n"));
    ASSERT_EQ(templates_.Commands.Count(), 1u);
    ASSERT_EQ(templates_.StatusWords.Count(), 2u);  // with the catch-all
  }

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return (folder_ / name).string();
  }

  test::TempDir folder_;
  TTemplatesObject templates_;
};

TEST_F(TemplatesReset, EmptiesBothTablesOfAReaderWithoutAUsableCard) {
  FillEntry(1, csCardInvalid).Templates = &templates_;
  ResetCardData(readers_, 1);
  EXPECT_EQ(templates_.Commands.Count(), 0u);
  EXPECT_EQ(templates_.StatusWords.Count(), 0u);
  EXPECT_TRUE(ReaderTable[1].CardInfo.ATR.empty());
}

TEST_F(TemplatesReset, KeepsTheTablesOfAPresentCard) {
  for (std::uint8_t state : {csCardReady, csCardTypeLoaded}) {
    FillEntry(1, state).Templates = &templates_;
    ResetCardData(readers_, 1);
    EXPECT_EQ(templates_.Commands.Count(), 1u) << int{state};
    EXPECT_EQ(templates_.StatusWords.Count(), 2u) << int{state};
  }
}

TEST_F(TemplatesReset, KeepsTheTablesOfAReaderBeyondTheReaderList) {
  FillEntry(0, csNoCard);
  ReaderTable[5] = ReaderTable[0];
  ReaderTable[5].Templates = &templates_;
  ResetCardData(readers_, 5);
  EXPECT_EQ(templates_.Commands.Count(), 1u);
  EXPECT_EQ(templates_.StatusWords.Count(), 2u);
}

}  // namespace
}  // namespace tessaly

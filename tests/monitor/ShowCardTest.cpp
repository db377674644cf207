#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MonitorTreeFixture.h"
#include "platform/TessalyError.h"

namespace tessaly::test {
namespace {

TCardInfo PresentCard(std::uint8_t state = csCardReady) {
  TCardInfo card;
  card.CardState = state;
  card.ActiveProtocol = 2;
  card.ATR = "3B 02 14 50";
  return card;
}

TConnectParams SharedParams() {
  TConnectParams params;
  params.ShareMode = 2;
  return params;
}

using ShowCardTest = MonitorTree;

TEST_F(ShowCardTest, FirstCardOfAnUnknownReaderBuildsItsWholeBranch) {
  std::vector<std::string> info{"VENDOR INFO", "VENDOR NAME=Acme", "", "DEVICE UNIT="};
  TCardInfo card = PresentCard();
  card.InfoList = &info;

  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  20 Readers",
                                "    22 Reader A",
                                "      34 Smart Card",
                                "        38 Protocol = T1   ( 0x00000002 )",
                                "        36 ATR = 3B 02 14 50",
                                "        40 Sharing Mode = CARD SHARED   ( 0x00000002 )",
                                "        50 Card Info",
                                "          52 VENDOR INFO",
                                "            53 Vendor name = Acme",
                                "            53 Device unit = < no info >",
                                "      30 Device Info",
                                "      24 Device State",
                            }));
  EXPECT_TRUE(tree.IsExpanded(readers));
  EXPECT_EQ(tree.Journal(), (Lines{"RepaintNode Reader A", "RepaintAll", "ProcessMessages"}));
}

TEST_F(ShowCardTest, ProtocolAndSharingModeShowNameAndHexCode) {
  struct Row {
    std::int32_t code;
    std::string protocol;
    std::string sharingMode;
  };
  const Row rows[] = {
      {-1, "< no info >", "   ( 0xFFFFFFFF )"},
      {0, "UNDEFINED   ( 0x00000000 )", "   ( 0x00000000 )"},
      {2, "T1   ( 0x00000002 )", "CARD SHARED   ( 0x00000002 )"},
      {0x10000, "RAW   ( 0x00010000 )", "   ( 0x00010000 )"},
      {-2, "UNKNOWN   ( 0xFFFFFFFE )", "   ( 0xFFFFFFFE )"},
  };
  for (const Row& row : rows) {
    TCardInfo card = PresentCard();
    card.ActiveProtocol = row.code;
    TConnectParams params;
    params.ShareMode = row.code;
    ShowCard(tree, nullptr, "Reader A", &card, params);
    EXPECT_EQ(ObjectOf(FindCardItem(tree, nullptr, "Reader A", false, mkProtocolPresent)).Value,
              row.protocol);
    EXPECT_EQ(ObjectOf(FindCardItem(tree, nullptr, "Reader A", false, mkSharingModePresent)).Value,
              row.sharingMode);
  }
}

TEST_F(ShowCardTest, EmptyATRShowsNoInfo) {
  TCardInfo card = PresentCard();
  card.ATR.clear();
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());
  EXPECT_EQ(ObjectOf(FindCardItem(tree, nullptr, "Reader A", false, mkATRPresent)).Value, "< no info >");
}

TEST_F(ShowCardTest, CardTypeLoadedStateShowsTheCardLikeCardReady) {
  MemoryTreeControl ready;
  AppendMonitorNode(ready, AppendMonitorNode(ready, ready.RootNode(), mkTop, "Monitor"), mkReadersGroup,
                    "Readers");
  const TCardInfo readyCard = PresentCard(csCardReady);
  const TCardInfo loadedCard = PresentCard(csCardTypeLoaded);

  ShowCard(ready, nullptr, "Reader A", &readyCard, SharedParams());
  ShowCard(tree, nullptr, "Reader A", &loadedCard, SharedParams());

  EXPECT_EQ(tree.Outline(), ready.Outline());
}

TEST_F(ShowCardTest, CardInvalidStateShowsNoCardWithoutShowingTheReader) {
  const TCardInfo card = PresentCard(csCardInvalid);
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  20 Readers",
                                "    21 Reader A",
                                "      35 Smart Card",
                                "        37 ATR",
                                "        39 Protocol",
                                "        41 Sharing Mode",
                                "        51 Card Info",
                            }));
  EXPECT_EQ(tree.Journal(), (Lines{"RepaintAll", "ProcessMessages"}));
}

TEST_F(ShowCardTest, NoCardAfterACardKeepsTheNodesAndClearsTheirValues) {
  std::vector<std::string> info{"Serial=1234"};
  TCardInfo card = PresentCard();
  card.InfoList = &info;
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());
  TTreeNode* cardInfo = FindCardItem(tree, nullptr, "Reader A", false, mkCardInfoPresent);
  ASSERT_TRUE(tree.HasChildrenMark(cardInfo));

  card.CardState = csNoCard;
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  20 Readers",
                                "    22 Reader A",
                                "      34 Smart Card",
                                "        39 Protocol",
                                "        37 ATR",
                                "        41 Sharing Mode",
                                "        51 Card Info",
                                "      30 Device Info",
                                "      24 Device State",
                            }));
  EXPECT_FALSE(tree.HasChildrenMark(cardInfo));
}

TEST_F(ShowCardTest, CardWithoutInfoListLeavesCardInfoAlone) {
  std::vector<std::string> info{"Serial=1234"};
  TCardInfo card = PresentCard();
  card.InfoList = &info;
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  card.InfoList = nullptr;
  card.ATR = "3B 00";
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  TTreeNode* cardInfo = FindCardItem(tree, nullptr, "Reader A", false, mkCardInfoPresent);
  ASSERT_NE(cardInfo, nullptr);
  EXPECT_EQ(ObjectOf(tree.FirstChild(cardInfo)).Caption, "Serial");
  EXPECT_EQ(ObjectOf(FindCardItem(tree, nullptr, "Reader A", false, mkATRPresent)).Value, "3B 00");
}

TEST_F(ShowCardTest, EmptyInfoListClearsCardInfoButKeepsItsMark) {
  std::vector<std::string> info{"Serial=1234"};
  TCardInfo card = PresentCard();
  card.InfoList = &info;
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  info.clear();
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  TTreeNode* cardInfo = FindCardItem(tree, nullptr, "Reader A", false, mkCardInfoPresent);
  EXPECT_EQ(tree.ChildCount(cardInfo), 0);
  EXPECT_TRUE(tree.HasChildrenMark(cardInfo));
}

TEST_F(ShowCardTest, InfoLinesBecomeHeadingsAndNameValueItems) {
  std::vector<std::string> info{
      "Atr hist=01 02",     // before any heading: directly under Card Info
      "chip data",          // heading, upper-cased
      "ATR HIST=ignored",   // a repeated name, in any case, shows the first line's value
      "Url=http://x/?a=b",  // the value is everything after the first "="
      "=orphan",            // an empty name makes a heading
      "",                   // skipped
      "2ND LINE=",          // empty value
  };
  TCardInfo card = PresentCard();
  card.InfoList = &info;

  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());

  Lines outline = tree.Outline();
  const Lines cardInfo(outline.begin() + 7, outline.end() - 2);
  EXPECT_EQ(cardInfo, (Lines{
                          "        50 Card Info",
                          "          53 Atr hist = 01 02",
                          "          52 CHIP DATA",
                          "            53 Atr hist = 01 02",
                          "            53 Url = http://x/?a=b",
                          "          52 =ORPHAN",
                          "            53 2Nd line = < no info >",
                      }));
}

TEST_F(ShowCardTest, CardPresentRemovesLastErrorOfTheReaderAndOfTheTopNode) {
  TTreeNode* reader = FindReaderNode(tree, "Reader A", true);
  TTreeNode* readerError = FindLastErrorNode(tree, reader, true);
  AppendMonitorNode(tree, readerError, mkCardInfoItem, "Code", "6A82");
  FindLastErrorNode(tree, top, true);
  FindLastErrorNode(tree, FindReaderNode(tree, "Reader B", true), true);

  const TCardInfo noCard;
  ShowCard(tree, nullptr, "Reader A", &noCard, SharedParams());
  EXPECT_NE(FindLastErrorNode(tree, reader, false), nullptr);
  EXPECT_NE(FindLastErrorNode(tree, top, false), nullptr);

  const TCardInfo card = PresentCard();
  ShowCard(tree, nullptr, "Reader A", &card, SharedParams());
  EXPECT_EQ(FindLastErrorNode(tree, reader, false), nullptr);
  EXPECT_EQ(FindLastErrorNode(tree, top, false), nullptr);
  EXPECT_NE(FindLastErrorNode(tree, FindReaderNode(tree, "Reader B", false), false), nullptr);
}

TEST_F(ShowCardTest, NullCardInfoOnlyRepaints) {
  ShowCard(tree, nullptr, "Reader A", nullptr, SharedParams());
  EXPECT_EQ(tree.Outline(), (Lines{"0 Monitor", "  19 Readers"}));
  EXPECT_EQ(tree.Journal(), (Lines{"RepaintAll", "ProcessMessages"}));
}

TEST_F(ShowCardTest, GivenSmartCardNodeReceivesTheItems) {
  TTreeNode* elsewhere = AppendMonitorNode(tree, top, mkSmartCard, "Elsewhere");
  const TCardInfo card = PresentCard(csNoCard);

  ShowCard(tree, elsewhere, "Reader A", &card, SharedParams());

  EXPECT_EQ(tree.ChildCount(elsewhere), 4);
  EXPECT_EQ(FindReaderNode(tree, "Reader A", false), nullptr);
}

TEST_F(ShowCardTest, FailingStepStillRepaintsAndProcessesMessagesThenPropagates) {
  const TCardInfo card = PresentCard();
  tree.FailAppend(3);
  EXPECT_THROW(ShowCard(tree, nullptr, "Reader A", &card, SharedParams()), ETessalyError);
  ASSERT_GE(tree.Journal().size(), 2u);
  EXPECT_EQ(Lines(tree.Journal().end() - 2, tree.Journal().end()), (Lines{"RepaintAll", "ProcessMessages"}));
}

TEST_F(ShowCardTest, WithoutReadersGroupNothingIsCreated) {
  MemoryTreeControl bare;
  AppendMonitorNode(bare, bare.RootNode(), mkTop, "Monitor");
  const TCardInfo card = PresentCard();

  ShowCard(bare, nullptr, "Reader A", &card, SharedParams());

  EXPECT_EQ(bare.Outline(), (Lines{"0 Monitor"}));
  EXPECT_EQ(bare.Journal(), (Lines{"RepaintAll", "ProcessMessages"}));
}

}  // namespace
}  // namespace tessaly::test

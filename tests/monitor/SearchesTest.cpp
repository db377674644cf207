#include <gtest/gtest.h>

#include <string>

#include "MonitorTreeFixture.h"

namespace tessaly::test {
namespace {

TEST(Capitalize, LowersCapitalsAndRaisesTheFirstCharacterAboveZ) {
  struct Row {
    std::string text;
    std::string expected;
  };
  const Row rows[] = {
      {"", ""},
      {"VENDOR NAME", "Vendor name"},
      {"vendor NAME", "Vendor name"},
      {"123ABC def", "123Abc def"},
      {"12 34", "12 34"},
      {"[ABC]", "[abc]"},
      {"_X", "_x"},
      {"\xC3\x84"
       "BC",
       "\xC3\x84"
       "bc"},  // a non-ASCII first character stays as it is
  };
  for (const Row& row : rows) EXPECT_EQ(Capitalize(row.text), row.expected) << row.text;
}

using SearchesTest = MonitorTree;

TEST_F(SearchesTest, ReaderNodesAreFoundByExactNameAndCreatedOnRequest) {
  EXPECT_EQ(FindReaderNode(tree, "Reader", false), nullptr);
  EXPECT_EQ(FindReaderNode(tree, "", true), nullptr);
  EXPECT_EQ(ObjectOf(readers).Kind, mkReadersGroup);
  EXPECT_FALSE(tree.IsExpanded(readers));

  tree.AddChild(readers);  // a node without an object is passed over
  TTreeNode* lower = FindReaderNode(tree, "Reader", true);
  TTreeNode* upper = FindReaderNode(tree, "READER", true);

  EXPECT_NE(lower, upper);
  EXPECT_EQ(FindReaderNode(tree, "Reader", false), lower);
  EXPECT_EQ(FindReaderNode(tree, "READER", true), upper);
  EXPECT_EQ(ObjectOf(readers).Kind, mkReadersGroupFilled);
  EXPECT_TRUE(tree.IsExpanded(readers));
  EXPECT_EQ(tree.Outline(), (Lines{"0 Monitor", "  20 Readers", "    -", "    21 Reader", "    21 READER"}));
  EXPECT_EQ(ObjectOf(lower).Node, lower);
  EXPECT_EQ(ObjectOf(lower).Tree, &tree);
}

TEST_F(SearchesTest, ReaderGroupsAnswerToEitherCodeOfTheirPair) {
  TTreeNode* deviceState = FindReaderGroup(tree, "Reader", mkDeviceStateActive, true);
  TTreeNode* deviceInfo = FindReaderGroup(tree, "Reader", mkDeviceInfoActive, true);
  TTreeNode* smartCard = FindReaderGroup(tree, "Reader", mkSmartCardActive, true);
  TTreeNode* lastError = FindReaderGroup(tree, "Reader", mkLastError, true);

  EXPECT_EQ(FindReaderGroup(tree, "Reader", mkDeviceState, false), deviceState);
  EXPECT_EQ(FindReaderGroup(tree, "Reader", mkDeviceInfo, false), deviceInfo);
  EXPECT_EQ(FindReaderGroup(tree, "Reader", mkSmartCard, false), smartCard);
  EXPECT_EQ(FindLastErrorNode(tree, FindReaderNode(tree, "Reader", false), false), lastError);
  EXPECT_EQ(FindReaderGroup(tree, "Reader", 99, true), nullptr);
  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  20 Readers",
                                "    21 Reader",
                                "      23 Device State",
                                "      31 Device Info",
                                "      35 Smart Card",
                                "      64 Last Error",
                            }));
}

TEST_F(SearchesTest, AskingForAReaderGroupAlwaysCreatesTheReader) {
  EXPECT_EQ(FindReaderGroup(tree, "Reader", mkSmartCard, false), nullptr);
  EXPECT_NE(FindReaderNode(tree, "Reader", false), nullptr);
}

TEST_F(SearchesTest, CardItemsIncludeTheOnesNoUpdateRequests) {
  TTreeNode* cardType = FindCardItem(tree, nullptr, "Reader", true, mkCardTypePresent);
  TTreeNode* chipType = FindCardItem(tree, nullptr, "Reader", true, mkChipTypeNoCard);

  EXPECT_EQ(FindCardItem(tree, nullptr, "Reader", false, mkCardTypeNoCard), cardType);
  EXPECT_EQ(FindCardItem(tree, nullptr, "Reader", false, mkChipTypePresent), chipType);
  EXPECT_EQ(FindCardItem(tree, nullptr, "Reader", true, mkCardInfoHeading), nullptr);
  EXPECT_EQ(FindCardItem(tree, nullptr, "", true, mkATRPresent), nullptr);
  Lines outline = tree.Outline();
  EXPECT_EQ(Lines(outline.begin() + 3, outline.end()),
            (Lines{"      35 Smart Card", "        43 Card Type", "        49 Chip Type"}));
}

TEST_F(SearchesTest, ShowReaderSetsKindsByLevel) {
  struct Row {
    int level;
    Lines expected;
  };
  const Row rows[] = {
      {1, {"    22 A", "      31 Device Info", "      23 Device State", "      35 Smart Card"}},
      {2, {"    22 B", "      31 Device Info", "      24 Device State", "      34 Smart Card"}},
      {4, {"    22 C", "      30 Device Info", "      24 Device State", "      34 Smart Card"}},
  };
  for (const Row& row : rows) {
    const std::string name = row.expected.front().substr(7);
    tree.ClearJournal();

    ShowReader(tree, name, row.level);

    const Lines outline = tree.Outline();
    EXPECT_EQ(Lines(outline.end() - 4, outline.end()), row.expected) << row.level;
    EXPECT_EQ(tree.Journal(), (Lines{"RepaintNode " + name})) << row.level;
  }
}

TEST_F(SearchesTest, ShowReaderClearsTheSmartCardValue) {
  ShowReader(tree, "Reader", 4);
  TMonitorNodeObject& smartCard = ObjectOf(FindReaderGroup(tree, "Reader", mkSmartCard, false));
  smartCard.SetValue("stale");
  ShowReader(tree, "Reader", 1);
  EXPECT_EQ(smartCard.Value, "");
  EXPECT_EQ(smartCard.Kind, mkSmartCardActive);
}

TEST_F(SearchesTest, ShowReaderWithoutReadersGroupDoesNothing) {
  MemoryTreeControl bare;
  AppendMonitorNode(bare, bare.RootNode(), mkTop, "Monitor");
  ShowReader(bare, "Reader", 4);
  EXPECT_EQ(bare.Outline(), (Lines{"0 Monitor"}));
  EXPECT_TRUE(bare.Journal().empty());
}

TEST_F(SearchesTest, RemoveLastErrorFallsBackToTheTopNode) {
  TTreeNode* reader = FindReaderNode(tree, "Reader", true);
  TTreeNode* readerError = FindLastErrorNode(tree, reader, true);
  AppendMonitorNode(tree, AppendMonitorNode(tree, readerError, mkCardInfoHeading, "DETAILS"), mkCardInfoItem,
                    "Code", "6A82");
  FindLastErrorNode(tree, top, true);

  RemoveLastError(tree, "Unknown reader");
  EXPECT_EQ(FindLastErrorNode(tree, top, false), nullptr);
  EXPECT_NE(FindLastErrorNode(tree, reader, false), nullptr);

  RemoveLastError(tree, "Reader");
  EXPECT_EQ(FindLastErrorNode(tree, reader, false), nullptr);
  EXPECT_EQ(tree.ChildCount(reader), 0);

  RemoveLastError(tree, "");  // nothing left to remove
  EXPECT_EQ(tree.Outline(), (Lines{"0 Monitor", "  20 Readers", "    21 Reader"}));
}

TEST_F(SearchesTest, MissingTopNodeMakesEverySearchComeBackEmpty) {
  MemoryTreeControl noTop;
  AppendMonitorNode(noTop, noTop.RootNode(), mkReadersGroup, "Readers");
  noTop.AddChild(noTop.RootNode());  // a top node without an object does not count

  EXPECT_EQ(FindTopNode(noTop), nullptr);
  EXPECT_EQ(FindReadersGroup(noTop), nullptr);
  EXPECT_EQ(FindReaderNode(noTop, "Reader", true), nullptr);
  EXPECT_EQ(FindPreferencesNode(noTop), nullptr);
  EXPECT_EQ(FindPreferencesGroup(noTop, mkMiscellaneous), nullptr);
  RemoveLastError(noTop, "Reader");
  EXPECT_EQ(noTop.Outline(), (Lines{"19 Readers", "-"}));
}

TEST_F(SearchesTest, PreferencesGroupsOtherThanTheTwoAreNeverCreated) {
  EXPECT_EQ(FindPreferencesGroup(tree, mkAutoOpen), nullptr);
  TTreeNode* preferences = FindPreferencesNode(tree);
  EXPECT_EQ(FindPreferencesNode(tree), preferences);
  EXPECT_EQ(tree.ChildCount(preferences), 2);
}

}  // namespace
}  // namespace tessaly::test

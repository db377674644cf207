#include <gtest/gtest.h>

#include <string>

#include "MonitorTreeFixture.h"
#include "platform/TessalyError.h"

namespace tessaly::test {
namespace {

using PreferencesTest = MonitorTree;

TEST_F(PreferencesTest, DetectDefaultsWithoutParamsCreatesThePreferencesInOrder) {
  ShowDetectDefaults(tree, nullptr);

  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  19 Readers",
                                "  2 Preferences",
                                "    3 Card Detecting Defaults",
                                "      4 Open the reader automatically",
                                "      6 Preferred Protocol",
                                "      10 Preferred Sharing Mode",
                                "      8 Card Closing Mode",
                                "    11 Miscellaneous",
                            }));
  EXPECT_EQ(tree.Journal(), (Lines{"BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages"}));
}

TEST_F(PreferencesTest, DetectDefaultsFollowAutoOpen) {
  TConnectParams params;
  params.AutoOpen = true;
  params.Protocol = -1;
  params.ShareMode = 1;
  params.ClosingMode = 2;
  ShowDetectDefaults(tree, &params);

  const Lines autoOpenOn{
      "      4 Open the reader automatically = Yes",
      "      5 Preferred Protocol = AUTODETECT",
      "      9 Preferred Sharing Mode = EXCLUSIVE USE",
      "      7 Card Closing Mode = UNPOWER CARD",
  };
  Lines outline = tree.Outline();
  EXPECT_EQ(Lines(outline.begin() + 4, outline.begin() + 8), autoOpenOn);

  params.AutoOpen = false;
  params.Protocol = 2;
  params.ShareMode = 0;  // no name: the value stays empty, without any placeholder
  params.ClosingMode = 4;
  ShowDetectDefaults(tree, &params);

  const Lines autoOpenOff{
      "      4 Open the reader automatically = No",
      "      6 Preferred Protocol = T1",
      "      10 Preferred Sharing Mode",
      "      8 Card Closing Mode",
  };
  outline = tree.Outline();
  EXPECT_EQ(outline.size(), 9u);
  EXPECT_EQ(Lines(outline.begin() + 4, outline.begin() + 8), autoOpenOff);
}

TEST_F(PreferencesTest, DetectDefaultsUpdateTheLastItemOfAKindAndAppendOnlyMissingOnes) {
  TTreeNode* group = FindPreferencesGroup(tree, mkCardDetectingDefaults);
  AppendMonitorNode(tree, group, mkClosingModeAutoOpen, "Card Closing Mode", "old");
  AppendMonitorNode(tree, group, mkClosingModeManualOpen, "Card Closing Mode", "old");
  tree.AddChild(group);  // a node without an object is passed over

  TConnectParams params;
  params.ClosingMode = 3;
  ShowDetectDefaults(tree, &params);

  Lines outline = tree.Outline();
  EXPECT_EQ(Lines(outline.begin() + 4, outline.begin() + 10),
            (Lines{
                "      7 Card Closing Mode = old",
                "      8 Card Closing Mode = EJECT CARD",
                "      -",
                "      4 Open the reader automatically = No",
                "      6 Preferred Protocol = UNDEFINED",
                "      10 Preferred Sharing Mode",
            }));
}

TEST_F(PreferencesTest, MiscellaneousFlagsTravelInTwoBytes) {
  struct Row {
    std::uint16_t flags;
    std::string separateHex;
    std::string logging;
  };
  const Row rows[] = {
      {MiscellaneousFlags(true, false), "Yes", "Log most useful events only "},
      {MiscellaneousFlags(false, true), "No", "Log all events"},
      {0x0000, "No", "Log most useful events only "},
      {0x0202, "Yes", "Log all events"},
      {0x8000, "No", "Log all events"},
  };
  for (const Row& row : rows) {
    ShowMiscellaneous(tree, row.flags);
    Lines outline = tree.Outline();
    EXPECT_EQ(Lines(outline.end() - 2, outline.end()),
              (Lines{"      12 Separate received HEX bytes = " + row.separateHex,
                     "      13 Events logging = " + row.logging}))
        << row.flags;
  }
  EXPECT_EQ(tree.Outline().size(), 7u);
}

TEST_F(PreferencesTest, MiscellaneousAloneStillCreatesBothPreferenceGroups) {
  ShowMiscellaneous(tree, 0);
  EXPECT_EQ(tree.Outline(), (Lines{
                                "0 Monitor",
                                "  19 Readers",
                                "  2 Preferences",
                                "    3 Card Detecting Defaults",
                                "    11 Miscellaneous",
                                "      12 Separate received HEX bytes = No",
                                "      13 Events logging = Log most useful events only ",
                            }));
  EXPECT_EQ(tree.Journal(), (Lines{"BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages"}));
}

TEST_F(PreferencesTest, FailingUpdateEndsItsBatchAndRepaintsThenPropagates) {
  const TConnectParams params;
  tree.FailAppend(2);
  EXPECT_THROW(ShowDetectDefaults(tree, &params), ETessalyError);
  EXPECT_EQ(tree.UpdateDepth(), 0);
  EXPECT_EQ(tree.Journal(), (Lines{"BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages"}));

  tree.ClearJournal();
  tree.FailAppend(1);
  EXPECT_THROW(ShowMiscellaneous(tree, 0x0101), ETessalyError);
  EXPECT_EQ(tree.UpdateDepth(), 0);
  EXPECT_EQ(tree.Journal(), (Lines{"BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages"}));
}

TEST_F(PreferencesTest, WithoutTopNodeNothingIsCreatedButTheControlRepaints) {
  MemoryTreeControl empty;
  const TConnectParams params;
  ShowDetectDefaults(empty, &params);
  ShowMiscellaneous(empty, 0x0101);
  EXPECT_TRUE(empty.Outline().empty());
  EXPECT_EQ(empty.Journal(), (Lines{"BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages",
                                    "BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages"}));
}

TEST_F(PreferencesTest, WithoutReadersGroupThePreferencesAreStillShown) {
  MemoryTreeControl bare;
  AppendMonitorNode(bare, bare.RootNode(), mkTopAlternate, "Monitor");
  ShowMiscellaneous(bare, 0x0001);
  EXPECT_EQ(bare.Outline().size(), 6u);
  EXPECT_EQ(bare.Outline().back(), "      13 Events logging = Log most useful events only ");
}

}  // namespace
}  // namespace tessaly::test

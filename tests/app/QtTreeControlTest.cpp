#include "app/QtTreeControl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <string>
#include <vector>

#include "monitor/_VMonitorTree.h"

namespace tessaly::test {
namespace {

using Rows = std::vector<std::string>;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "app_qttree_test";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

// What a person sees in one row: indentation, the caption, the value, and "(grey)" for a greyed row.
void DescribeRows(const QTreeWidget& widget, const QTreeWidgetItem* item, int depth, Rows& rows) {
  for (int i = 0; i < item->childCount(); ++i) {
    const QTreeWidgetItem* child = item->child(i);
    std::string row = std::string(static_cast<std::size_t>(depth) * 2, ' ') + child->text(0).toStdString();
    if (!child->text(1).isEmpty()) row += " | " + child->text(1).toStdString();
    if (child->foreground(0) == widget.palette().brush(QPalette::Disabled, QPalette::Text)) row += " (grey)";
    rows.push_back(row);
    DescribeRows(widget, child, depth + 1, rows);
  }
}

class QtTreeControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application(); }

  QtTreeControlTest() : control(widget) {
    TTreeNode* top = AppendMonitorNode(control, control.RootNode(), mkTop, "Tessaly Easy");
    readers = AppendMonitorNode(control, top, mkReadersGroup, "Readers");
  }

  Rows Describe() const {
    Rows rows;
    DescribeRows(widget, widget.invisibleRootItem(), 0, rows);
    return rows;
  }

  QTreeWidget widget;
  QtTreeControl control;
  TTreeNode* readers = nullptr;
};

TEST_F(QtTreeControlTest, ShowsReadersCardsAndPreferencesAsAPersonWouldReadThem) {
  TConnectParams params;
  params.AutoOpen = false;
  params.Protocol = -1;
  params.ShareMode = 2;
  params.ClosingMode = 0;
  ShowDetectDefaults(control, &params);
  ShowMiscellaneous(control, MiscellaneousFlags(true, false));
  std::vector<std::string> info{"VENDOR INFO", "VENDOR NAME=Acme"};
  TCardInfo card;
  card.CardState = csCardReady;
  card.ActiveProtocol = 2;
  card.ATR = "3B 02 14 50";
  card.InfoList = &info;
  ShowCard(control, nullptr, "Reader A", &card, params);

  EXPECT_EQ(widget.columnCount(), 2);
  EXPECT_EQ(Describe(), (Rows{
                            "Tessaly Easy",
                            "  Readers",
                            "    Reader A",
                            "      Smart Card",
                            "        Protocol | T1   ( 0x00000002 )",
                            "        ATR | 3B 02 14 50",
                            "        Sharing Mode | CARD SHARED   ( 0x00000002 )",
                            "        Card Info",
                            "          VENDOR INFO",
                            "            Vendor name | Acme",
                            "      Device Info",
                            "      Device State",
                            "  Preferences",
                            "    Card Detecting Defaults",
                            "      Open the reader automatically | No",
                            "      Preferred Protocol | AUTODETECT (grey)",
                            "      Preferred Sharing Mode | CARD SHARED (grey)",
                            "      Card Closing Mode | LEAVE CARD (grey)",
                            "    Miscellaneous",
                            "      Separate received HEX bytes | Yes",
                            "      Events logging | Log most useful events only ",
                        }));
  EXPECT_TRUE(widget.invisibleRootItem()->child(0)->child(0)->isExpanded());
  EXPECT_TRUE(widget.updatesEnabled());
}

TEST_F(QtTreeControlTest, NoCardUpdateGreysTheItemsAndDropsTheCardInformation) {
  std::vector<std::string> info{"Serial=1234"};
  TCardInfo card;
  card.CardState = csCardReady;
  card.ActiveProtocol = 1;
  card.ATR = "3B 00";
  card.InfoList = &info;
  const TConnectParams params;
  ShowCard(control, nullptr, "Reader A", &card, params);
  card.CardState = csWaitingForCard;
  ShowCard(control, nullptr, "Reader A", &card, params);

  EXPECT_EQ(Describe(), (Rows{
                            "Tessaly Easy",
                            "  Readers",
                            "    Reader A",
                            "      Smart Card",
                            "        Protocol (grey)",
                            "        ATR (grey)",
                            "        Sharing Mode (grey)",
                            "        Card Info (grey)",
                            "      Device Info",
                            "      Device State",
                        }));
  const QTreeWidgetItem* cardInfo =
      widget.invisibleRootItem()->child(0)->child(0)->child(0)->child(0)->child(3);
  EXPECT_EQ(cardInfo->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TEST_F(QtTreeControlTest, RemovingLastErrorDeletesItsRowsWithTheirObjects) {
  TTreeNode* reader = FindReaderNode(control, "Reader A", true);
  TTreeNode* lastError = FindLastErrorNode(control, reader, true);
  AppendMonitorNode(control, lastError, mkCardInfoItem, "Code", "6A82");
  control.RepaintAll();
  ASSERT_EQ(Describe().size(), 5u);

  RemoveLastError(control, "Reader A");
  control.RepaintAll();

  EXPECT_EQ(Describe(), (Rows{"Tessaly Easy", "  Readers", "    Reader A (grey)"}));
  EXPECT_EQ(control.FirstChild(reader), nullptr);
}

}  // namespace
}  // namespace tessaly::test

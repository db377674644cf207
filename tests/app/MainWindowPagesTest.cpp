#include <gtest/gtest.h>

#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "KernelPagesFixture.h"
#include "app/EventLogPage.h"
#include "app/MonitorPage.h"

namespace tessaly::test {
namespace {

const std::string kAtr = "3B 8F 80 01 80 4F 0C A0";

bool IsBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
  for (const QTreeWidgetItem* above = item->parent(); above != nullptr; above = above->parent()) {
    if (above == ancestor) return true;
  }
  return false;
}

// The first item whose caption column reads caption, below parent when one is given.
QTreeWidgetItem* FindItem(QTreeWidget& tree, const QString& caption,
                          const QTreeWidgetItem* parent = nullptr) {
  for (QTreeWidgetItem* item : tree.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive, 0)) {
    if (parent == nullptr || IsBelow(item, parent)) return item;
  }
  return nullptr;
}

std::vector<QString> EventNames(EventLogModel& model) {
  model.Flush();
  std::vector<QString> names;
  for (int row = 0; row < model.rowCount(); ++row) names.push_back(model.RecordAt(row).EventName);
  return names;
}

using MainWindowPagesTest = KernelPagesTest;

TEST_F(MainWindowPagesTest, AnInsertedCardShowsInTheMonitorAndInTheLog) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);

  QTreeWidget& tree = pages_->Monitor().Tree();
  QTreeWidgetItem* reader = FindItem(tree, "Reader A");
  ASSERT_NE(reader, nullptr);
  QTreeWidgetItem* atr = FindItem(tree, "ATR", reader);
  ASSERT_NE(atr, nullptr);
  EXPECT_EQ(atr->text(1), QString::fromStdString(kAtr));
  EXPECT_EQ(FindItem(tree, "Protocol", reader)->text(1), "T1   ( 0x00000002 )");

  EventLogModel& log = pages_->Log().Model();
  const std::vector<QString> names = EventNames(log);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "Card ready");
  EXPECT_EQ(log.RecordAt(log.rowCount() - 1).Details, QString::fromStdString("ATR = " + kAtr));
  EXPECT_EQ(log.RecordAt(log.rowCount() - 1).Source, "Reader A");
}

TEST_F(MainWindowPagesTest, TheMonitorShowsTheOnDetectPreferencesOnceTheServiceIsConnected) {
  device_->StartSession({"Reader A"});
  // As a device layer does before it opens the first card.
  kernel_->Connection->ReloadOnDetectParams();
  QTreeWidget& tree = pages_->Monitor().Tree();
  QTreeWidgetItem* protocol = FindItem(tree, "Preferred Protocol");
  ASSERT_NE(protocol, nullptr);
  EXPECT_EQ(protocol->text(1), "AUTODETECT");
  EXPECT_EQ(FindItem(tree, "Card Closing Mode")->text(1), "RESET CARD");
}

TEST_F(MainWindowPagesTest, TheMessageColumnShowsTheKernelsMessageUntilItIsHidden) {
  QLabel& message = *form_->MessageLabel;
  EXPECT_TRUE(message.wordWrap());
  device_->ShowMessage("Insert card into a reader, please...");
  EXPECT_EQ(message.text(), "Insert card into a reader, please...");
  device_->HideMessage();
  EXPECT_TRUE(message.text().isEmpty());
}

TEST_F(MainWindowPagesTest, ADoubleClickOnAReaderOpensItsCardOrClosesAnOpenOne) {
  std::vector<std::string> commands;
  pages_->Monitor().SetCardCommands({[&](int n) { commands.push_back("open " + std::to_string(n)); },
                                     [&](int n) { commands.push_back("close " + std::to_string(n)); },
                                     [&](int n) { commands.push_back("reset " + std::to_string(n)); }});
  device_->StartSession({"Reader A", "Reader B"});
  device_->InsertCard(1, kAtr);
  device_->RemoveCard(1);
  device_->InsertCard(0, kAtr);

  QTreeWidget& tree = pages_->Monitor().Tree();
  QTreeWidgetItem* readerA = FindItem(tree, "Reader A");
  QTreeWidgetItem* readerB = FindItem(tree, "Reader B");
  ASSERT_NE(readerA, nullptr);
  ASSERT_NE(readerB, nullptr);
  emit tree.itemDoubleClicked(FindItem(tree, "ATR", readerA), 0);
  emit tree.itemDoubleClicked(readerB, 0);
  emit tree.itemDoubleClicked(FindItem(tree, "Preferences"), 0);

  EXPECT_EQ(commands, (std::vector<std::string>{"close 0", "open 1"}));
}

TEST_F(MainWindowPagesTest, ThePageOptionChoosesThePageShownFirst) {
  EXPECT_TRUE(pages_->ShowPage("preferences"));
  EXPECT_EQ(form_->PageControl->currentIndex(), 2);
  EXPECT_TRUE(pages_->ShowPage("log"));
  EXPECT_EQ(form_->PageControl->currentWidget(), &pages_->Log());
  EXPECT_FALSE(pages_->ShowPage("templates"));
  EXPECT_EQ(form_->PageControl->currentWidget(), &pages_->Log());
}

TEST_F(MainWindowPagesTest, ClosingTheMainWindowDetachesItsPagesFromTheKernel) {
  pages_.reset();
  form_.reset();
  EXPECT_EQ(kernel_->Monitor, nullptr);
  EXPECT_EQ(kernel_->Connection->Monitor, nullptr);
  EXPECT_FALSE(kernel_->OnLog);
  // The kernel goes on without a host.
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  EXPECT_EQ(ReaderTable[0].CardInfo.ATR, kAtr);
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <chrono>
#include <string>
#include <vector>

#include "KernelPagesFixture.h"
#include "app/EventLogModel.h"
#include "app/EventLogPage.h"
#include "app/ExchangePage.h"
#include "app/MonitorPage.h"
#include "readers/EventCodes.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

const std::string kAtr = "3B 8F 80 01 80 4F 0C A0";

using MainWindowPagesTest = KernelPagesTest;

TEST_F(MainWindowPagesTest, TheMonitorFollowsACardOutAndInAgain) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  device_->RemoveCard(0);
  QTreeWidget& tree = pages_->Monitor().Tree();
  QTreeWidgetItem* reader = FindItem(tree, "Reader A");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(FindItem(tree, "ATR", reader)->text(1), "");

  // The card's type is known now: no reload of all readers shows it, the card events do.
  device_->InsertCard(0, kAtr, 1);
  EXPECT_EQ(FindItem(tree, "ATR", reader)->text(1), QString::fromStdString(kAtr));
  EXPECT_EQ(FindItem(tree, "Protocol", reader)->text(1), "T0   ( 0x00000001 )");
}

TEST_F(MainWindowPagesTest, PagesBuiltWhenFirstShownShowWhatCameBefore) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr, 1);
  QTabWidget& pages = *form_->PageControl;
  // Only the Monitor page is built at start; the others' tabs hold nothing yet.
  for (int index = 1; index < pages.count(); ++index) {
    EXPECT_EQ(pages.widget(index)->findChildren<QWidget*>().size(), 0) << index;
  }

  pages.setCurrentIndex(3);
  ASSERT_GT(pages.widget(3)->findChildren<QWidget*>().size(), 0) << "shown, the Exchange page is built";
  EXPECT_EQ(pages_->Exchange().ReaderChoice().count(), 1) << "and lists the card that was there before";
  EXPECT_GT(pages_->Log().Model().rowCount(), 0) << "the log kept the records from before its page";
}

TEST_F(MainWindowPagesTest, TheMessageColumnShowsTheKernelsMessageUntilItIsHidden) {
  QLabel& message = *form_->MessageLabel;
  EXPECT_TRUE(message.wordWrap());
  device_->ShowMessage("Insert card into a reader, please...");
  EXPECT_EQ(message.text(), "Insert card into a reader, please...");
  device_->HideMessage();
  EXPECT_TRUE(message.text().isEmpty());
}

TEST_F(MainWindowPagesTest, ADoubleClickOrEnterOnAReaderOpensItsCardOrClosesAnOpenOne) {
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

  commands.clear();
  const auto pressOn = [&tree](QTreeWidgetItem* item, Qt::Key key) {
    tree.setCurrentItem(item);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&tree, &press);
  };
  pressOn(FindItem(tree, "ATR", readerA), Qt::Key_Return);
  pressOn(readerB, Qt::Key_Enter);
  pressOn(FindItem(tree, "Preferences"), Qt::Key_Return);
  pressOn(readerB, Qt::Key_Space);
  EXPECT_EQ(commands, (std::vector<std::string>{"close 0", "open 1"}));
}

std::vector<std::uint8_t> LoggedCodes(EventLogModel& model) {
  model.Flush();
  std::vector<std::uint8_t> codes;
  for (int row = 0; row < model.rowCount(); ++row) codes.push_back(model.RecordAt(row).EventCode);
  return codes;
}

TEST_F(MainWindowPagesTest, TheStoredLogPreferencesHoldFromTheFirstRecordOfTheNextStart) {
  kernel_->Settings->SetEventLogMode(2);
  kernel_->Settings->SetSeparateHexBytes(true);
  Restart();
  QCoreApplication::processEvents();

  EXPECT_EQ(kernel_->EventLogMode, 2);
  EXPECT_TRUE(SeparateHexBytes);
  QTreeWidget& tree = pages_->Monitor().Tree();
  EXPECT_EQ(FindItem(tree, "Separate received HEX bytes")->text(1), "Yes");
  EXPECT_EQ(FindItem(tree, "Events logging")->text(1), "Log most useful events only ");

  // Errors only: the whole start of a session leaves no record, an error does.
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  device_->Exchange(0, "00 A4 00 00", "90 00");
  device_->ReportError("Reader A", 0, "lost");
  EXPECT_EQ(LoggedCodes(pages_->Log().Model()), (std::vector<std::uint8_t>{ecError}));

  kernel_->Settings->SetEventLogMode(0);
  kernel_->Settings->SetSeparateHexBytes(false);
  Restart();
  QCoreApplication::processEvents();
  EXPECT_EQ(FindItem(pages_->Monitor().Tree(), "Separate received HEX bytes")->text(1), "No");
  EXPECT_EQ(FindItem(pages_->Monitor().Tree(), "Events logging")->text(1), "Log all events");
  device_->StartSession({"Reader A"});
  EXPECT_GT(LoggedCodes(pages_->Log().Model()).size(), 1u);
}

TEST_F(MainWindowPagesTest, TheLogsDetailsAreInViewAtTheWindowsSizeWithTimesOfOneDayOrOfSeveral) {
  auto now = std::chrono::system_clock::now();
  kernel_->SetLogClock([&now] { return now; });
  form_->show();
  ASSERT_TRUE(pages_->ShowPage("log"));
  QTableView& view = pages_->Log().View();
  const auto expectDetailsInView = [&view](const char* when) {
    QCoreApplication::processEvents();
    const int detailsLeft = view.columnViewportPosition(EventLogModel::DetailsColumn);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0) << when;
    EXPECT_GE(view.viewport()->width() - detailsLeft, view.viewport()->width() / 4) << when;
  };
  device_->StartSession({"Tessaly Virtual Reader 00 00"});
  expectDetailsInView("within one day");
  now += std::chrono::hours(48);
  device_->InsertCard(0, kAtr);
  ASSERT_TRUE(pages_->Log().Model().DatesShown());
  expectDetailsInView("over two days");
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

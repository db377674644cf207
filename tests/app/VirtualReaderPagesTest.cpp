#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QTreeWidget>

#include "VirtualReaderPagesFixture.h"
#include "app/CardTypesPage.h"
#include "app/EventLogPage.h"
#include "app/MonitorPage.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

QString ValueBelow(QTreeWidget& tree, const QString& caption, const QTreeWidgetItem* parent) {
  const QTreeWidgetItem* item = FindItem(tree, caption, parent);
  return item != nullptr ? item->text(1) : QStringLiteral("<missing>");
}

bool Logged(EventLogModel& model, const QString& eventName) {
  model.Flush();
  for (int row = 0; row < model.rowCount(); ++row) {
    if (model.RecordAt(row).EventName == eventName) return true;
  }
  return false;
}

TEST_F(VirtualReaderPagesTest, TheVirtualCardShowsInTheMonitorAndTheLogAndADoubleClickClosesAndOpensIt) {
  // "Reader closed" is among the records of the full log only.
  kernel_->Settings->SetEventLogMode(0);
  ASSERT_TRUE(StartAndSettle());
  QTreeWidget& tree = pages_->Monitor().Tree();
  const auto readers = tree.findItems(kVirtualReader, Qt::MatchExactly | Qt::MatchRecursive, 0);
  ASSERT_EQ(readers.size(), 1);
  QTreeWidgetItem* reader = readers.front();
  const QString atr = QString::fromStdString(ReaderTable[0].CardInfo.ATR);
  EXPECT_FALSE(atr.isEmpty());
  EXPECT_EQ(ValueBelow(tree, "ATR", reader), atr);
  EXPECT_TRUE(Logged(pages_->Log().Model(), "Card ready"));

  EXPECT_EQ(ValueBelow(tree, "Device State", reader), "Card in use, shared");

  emit tree.itemDoubleClicked(reader, 0);
  ASSERT_TRUE(Await([&] { return ValueBelow(tree, "ATR", reader).isEmpty(); }));
  EXPECT_TRUE(Logged(pages_->Log().Model(), "Reader closed"));
  // Once the service has let the card go.
  EXPECT_TRUE(Await([&] { return ValueBelow(tree, "Device State", reader) == "Card present"; }));

  emit tree.itemDoubleClicked(reader, 0);
  ASSERT_TRUE(Await([&] { return ValueBelow(tree, "ATR", reader) == atr; }));
  EXPECT_TRUE(errorBoxes_.Texts().empty());
}

// The stored default is 1: the first exchange of the session is logged with its bytes apart.
TEST_F(VirtualReaderPagesTest, TheFirstExchangeIsLoggedWithTheStoredSpacingOfHexBytes) {
  ASSERT_TRUE(kernel_->Settings->GetSeparateHexBytes());
  ASSERT_TRUE(StartAndSettle());
  bool answered = false;
  layer_->Transmit(0, "00A4000C023F00", [&answered](const ExchangeOutcome&) { answered = true; });
  ASSERT_TRUE(Await([&] { return answered; }));

  EventLogModel& model = pages_->Log().Model();
  model.Flush();
  QString details;
  for (int row = 0; row < model.rowCount(); ++row) {
    if (model.RecordAt(row).EventName == "Data sent") details = model.RecordAt(row).Details;
  }
  EXPECT_EQ(details, "Sent: { 00 A4 00 0C 02 3F 00 }  Received: { 90 00 }");
}

TEST_F(VirtualReaderPagesTest, TheCardTypesPageOffersTheCardInAReaderWithItsCardType) {
  ASSERT_TRUE(StartAndSettle());
  QComboBox& cards = pages_->CardTypes().ReaderChoice();
  ASSERT_EQ(cards.count(), 1);
  EXPECT_TRUE(cards.itemText(0).startsWith(kVirtualReader)) << cards.itemText(0).toStdString();

  EXPECT_TRUE(cards.itemText(0).endsWith("(ISO-7816 Smart Card)")) << cards.itemText(0).toStdString();
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTreeWidget>
#include <memory>
#include <string>

#include "KernelPagesFixture.h"
#include "app/EventLogPage.h"
#include "app/MonitorPage.h"
#include "device/DeviceLayer.h"
#include "device/PcscService.h"

namespace tessaly::test {
namespace {

constexpr char kReader[] = "Tessaly Virtual Reader 00 00";

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

// The pages over the real device layer with the in-process virtual reader, its changes posted to the Qt
// event loop as the program does.
class VirtualReaderPagesTest : public KernelPagesTest {
 protected:
  VirtualReaderPagesTest() {
    device_.reset();
    layer_ = std::make_unique<DeviceLayer>(
        *kernel_->Connection, MakeVirtualReaderService(), [](std::function<void()> task) {
          QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
        });
    DeviceLayer& layer = *layer_;
    pages_->Monitor().SetCardCommands({[&layer](int n) { layer.OpenCard(n); },
                                       [&layer](int n) { layer.CloseCard(n); },
                                       [&layer](int n) { layer.ResetCard(n); }});
  }
  ~VirtualReaderPagesTest() override { layer_.reset(); }

  // Starts the layer and runs the event loop until it has settled.
  bool StartAndSettle() {
    bool settled = false;
    layer_->SetOnSettled([&settled] { settled = true; });
    layer_->Start();
    const QDeadlineTimer deadline(5000);
    while (!settled && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return settled;
  }

  std::unique_ptr<DeviceLayer> layer_;
};

TEST_F(VirtualReaderPagesTest, TheVirtualCardShowsInTheMonitorAndTheLogAndADoubleClickClosesAndOpensIt) {
  ASSERT_TRUE(StartAndSettle());
  QTreeWidget& tree = pages_->Monitor().Tree();
  const auto readers = tree.findItems(kReader, Qt::MatchExactly | Qt::MatchRecursive, 0);
  ASSERT_EQ(readers.size(), 1);
  QTreeWidgetItem* reader = readers.front();
  const QString atr = QString::fromStdString(ReaderTable[0].CardInfo.ATR);
  EXPECT_FALSE(atr.isEmpty());
  EXPECT_EQ(ValueBelow(tree, "ATR", reader), atr);
  EXPECT_TRUE(Logged(pages_->Log().Model(), "Card ready"));

  emit tree.itemDoubleClicked(reader, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(ValueBelow(tree, "ATR", reader), "");
  EXPECT_TRUE(Logged(pages_->Log().Model(), "Reader closed"));

  emit tree.itemDoubleClicked(reader, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(ValueBelow(tree, "ATR", reader), atr);
  EXPECT_TRUE(errorBoxes_.Texts().empty());
}

}  // namespace
}  // namespace tessaly::test

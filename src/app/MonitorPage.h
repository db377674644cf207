#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

namespace tessaly {

class QtTreeControl;
class TKernelObject;
struct TCardInfo;

// What the monitor asks of the device layer for the card in reader-table entry n.
struct ReaderCardCommands {
  std::function<void(int reader)> OpenCard;
  std::function<void(int reader)> CloseCard;
  std::function<void(int reader)> ResetCard;
};

// The Monitor page: the monitor tree, attached to the kernel and its connection while the page lives. A
// double click on a reader, or Enter on it, opens or closes its card; the context menu opens, closes, resets
// and copies the ATR.
class MonitorPage final : public QWidget {
  Q_OBJECT

 public:
  explicit MonitorPage(TKernelObject& kernel, QWidget* parent = nullptr);
  ~MonitorPage() override;

  void SetCardCommands(ReaderCardCommands commands) { commands_ = std::move(commands); }

  QTreeWidget& Tree() { return *tree_; }
  // Shows the card of a reader after a change of its card state (the connection itself shows readers only
  // when it reloads all card types).
  void ShowReader(const std::string& readerName, const TCardInfo& card);
  // The reader-table entry of the reader an item belongs to (the reader's node or one below it), or -1.
  int ReaderOf(QTreeWidgetItem* item);
  // Opens the card when none is open in the reader, closes it otherwise.
  void ToggleCard(int reader);
  void CopyAtr(int reader);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowContextMenu(const QPoint& position);
  // Runs a command of the device layer; a failure is shown in an error box.
  void Run(const std::function<void(int)>& command, int reader);

  TKernelObject& kernel_;
  QTreeWidget* const tree_;
  std::unique_ptr<QtTreeControl> control_;
  ReaderCardCommands commands_;
};

}  // namespace tessaly

#include "app/MonitorPage.h"

#include <QApplication>
#include <QClipboard>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "app/PageLayout.h"
#include "app/QtTreeControl.h"
#include "kernel/KernelObject.h"
#include "monitor/MonitorNodeObject.h"
#include "monitor/_VMonitorTree.h"
#include "platform/ErrorBox.h"
#include "readers/ReaderTable.h"

namespace tessaly {
namespace {

// Measures a row's text once for each width of its column. The view asks for the size of every row
// whenever a column is resized or a row added, and measuring text is what drawing the monitor costs most
// (measured at start: half of the time the window took). With wrap, a value takes as many lines as it needs
// at its column's width, so that a long ATR wraps at its blanks instead of being cut off.
class MeasuringDelegate final : public QStyledItemDelegate {
 public:
  MeasuringDelegate(QTreeView& view, bool wrap) : QStyledItemDelegate(&view), view_(view), wrap_(wrap) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    constexpr int kMargins = 8;
    const int width = wrap_ ? std::max(view_.columnWidth(index.column()) - kMargins, 1) : 0;
    // Texts are few and repeat (a card's items come back with every update); the bound only guards memory.
    constexpr qsizetype kMostSizes = 4096;
    if (width != measuredWidth_ || sizes_.size() > kMostSizes) {
      sizes_.clear();
      measuredWidth_ = width;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    if (const auto found = sizes_.constFind(text); found != sizes_.constEnd()) return *found;
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (wrap_) {
      const QRect wrapped = option.fontMetrics.boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text);
      size.setHeight(std::max(size.height(), wrapped.height() + kMargins / 2));
    }
    sizes_.insert(text, size);
    return size;
  }

 private:
  QTreeView& view_;
  bool wrap_;
  mutable int measuredWidth_ = -1;
  mutable QHash<QString, QSize> sizes_;
};

bool IsReaderKind(std::uint8_t kind) {
  return kind == mkReader || kind == mkReaderShown;
}

bool CardIsOpen(int reader) {
  return HoldsOpenCard(ReaderTable[static_cast<std::size_t>(reader)]);
}

}  // namespace

MonitorPage::MonitorPage(TKernelObject& kernel, QWidget* parent)
    : QWidget(parent), kernel_(kernel), tree_(new QTreeWidget(this)) {
  control_ = std::make_unique<QtTreeControl>(*tree_);
  // The captions are short and few: their column takes the width of the longest one.
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  // Long values (an ATR of 33 bytes) wrap at their blanks instead of being cut off.
  tree_->setWordWrap(true);
  tree_->setItemDelegateForColumn(0, new MeasuringDelegate(*tree_, false));
  tree_->setItemDelegateForColumn(1, new MeasuringDelegate(*tree_, true));
  connect(tree_->header(), &QHeaderView::sectionResized, tree_, &QTreeView::doItemsLayout);
  tree_->setIndentation(14);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  tree_->setExpandsOnDoubleClick(false);
  PageColumn(*this)->addWidget(tree_);

  TTreeNode* top = AppendMonitorNode(*control_, control_->RootNode(), mkTop, "Tessaly Easy");
  AppendMonitorNode(*control_, top, mkReadersGroup, "Readers");
  control_->Expand(top);

  kernel_.Monitor = control_.get();
  if (kernel_.Connection) kernel_.Connection->Monitor = control_.get();
  // The monitor's updates process pending messages; the first one waits for the message loop, so that
  // building the window runs no other handler.
  QTimer::singleShot(0, this, [this] {
    if (kernel_.Connection) kernel_.Connection->ShowPreferencesInMonitor();
    kernel_.RefreshMonitorPreferences();
  });
  // Readers and card items appear while the program runs; each branch is shown open as it grows.
  connect(tree_->model(), &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent) { tree_->expand(parent); });

  connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (const int reader = ReaderOf(item); reader >= 0) ToggleCard(reader);
  });
  connect(tree_, &QWidget::customContextMenuRequested, this, &MonitorPage::ShowContextMenu);
  // Not the view's "activated": styles that activate on a single click would open a card at every click.
  tree_->installEventFilter(this);
}

bool MonitorPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tree_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    const int reader = ReaderOf(tree_->currentItem());
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && reader >= 0) {
      ToggleCard(reader);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

MonitorPage::~MonitorPage() {
  // The kernel outlives the page: it must not draw into a tree that is gone.
  if (kernel_.Monitor == control_.get()) kernel_.Monitor = nullptr;
  if (kernel_.Connection && kernel_.Connection->Monitor == control_.get())
    kernel_.Connection->Monitor = nullptr;
}

void MonitorPage::ShowReader(const std::string& readerName, const TCardInfo& card) {
  for (const TReaderHead& entry : ReaderTable) {
    if (entry.ReaderName != readerName || readerName.empty()) continue;
    try {
      ShowCard(*control_, nullptr, readerName, &card, entry.CurrentParams);
    } catch (const std::exception&) {
      // A picture that could not be drawn must not stop the card's road through the device layer.
    }
    return;
  }
}

int MonitorPage::ReaderOf(QTreeWidgetItem* item) {
  for (; item != nullptr; item = item->parent()) {
    const TMonitorNodeObject* object = control_->ObjectOf(item);
    if (object == nullptr || !IsReaderKind(object->Kind)) continue;
    for (std::size_t n = 0; n < kReaderCount; ++n) {
      if (ReaderTable[n].ReaderName == object->Caption) return static_cast<int>(n);
    }
    return -1;
  }
  return -1;
}

void MonitorPage::Run(const std::function<void(int)>& command, int reader) {
  if (!command) return;
  // The command is carried out in turn; the reader shows its outcome when the card events come.
  try {
    command(reader);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
}

void MonitorPage::ToggleCard(int reader) {
  Run(CardIsOpen(reader) ? commands_.CloseCard : commands_.OpenCard, reader);
}

void MonitorPage::CopyAtr(int reader) {
  const std::string& atr = ReaderTable[static_cast<std::size_t>(reader)].CardInfo.ATR;
  if (!atr.empty()) QApplication::clipboard()->setText(QString::fromStdString(atr));
}

void MonitorPage::ShowContextMenu(const QPoint& position) {
  const int reader = ReaderOf(tree_->itemAt(position));
  if (reader < 0) return;
  const bool open = CardIsOpen(reader);
  QMenu menu(this);
  menu.addAction(QStringLiteral("Open card"), this, [this, reader] { Run(commands_.OpenCard, reader); })
      ->setEnabled(!open && commands_.OpenCard != nullptr);
  menu.addAction(QStringLiteral("Close card"), this, [this, reader] { Run(commands_.CloseCard, reader); })
      ->setEnabled(open && commands_.CloseCard != nullptr);
  menu.addAction(QStringLiteral("Reset card"), this, [this, reader] { Run(commands_.ResetCard, reader); })
      ->setEnabled(open && commands_.ResetCard != nullptr);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Copy ATR"), this, [this, reader] { CopyAtr(reader); })
      ->setEnabled(!ReaderTable[static_cast<std::size_t>(reader)].CardInfo.ATR.empty());
  menu.exec(tree_->viewport()->mapToGlobal(position));
}

}  // namespace tessaly

#include "app/ExchangeStructureView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <vector>

#include "app/ExchangeAnswerView.h"
#include "platform/HexText.h"

namespace tessaly {
namespace {

enum Column { kObjectColumn, kLengthColumn, kValueColumn };
constexpr std::size_t kBytesPerRow = ExchangeAnswerView::BytesPerRow;

// What a primitive value says: its text when printable, or its explanation.
std::string ReadingOf(const TlvTree& tree, const TlvNode& node) {
  if (const auto printable = PrintableValue(tree, node)) return "\"" + *printable + "\"";
  return node.Explanation;
}

// The value's hex on the object's row, a long one going on in rows of 8 bytes under it as the hex view's
// rows do.
void AddValueRows(const TlvTree& tree, const TlvNode& node, QTreeWidgetItem& item) {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const std::span<const std::uint8_t> value = tree.ValueOf(node);
  for (std::size_t offset = 0; !node.Constructed && offset < value.size(); offset += kBytesPerRow) {
    QTreeWidgetItem* row = offset == 0 ? &item : new QTreeWidgetItem(&item);
    const std::size_t count = std::min(kBytesPerRow, value.size() - offset);
    row->setText(kValueColumn, QString::fromStdString(HexText(value.subspan(offset, count))));
    row->setFont(kValueColumn, fixed);
  }
}

// The reading in a row of its own under the object, across the columns: beside the hex, the value's column
// would cut it short.
void AddReadingRow(const TlvTree& tree, const TlvNode& node, QTreeWidgetItem& item) {
  const std::string reading = ReadingOf(tree, node);
  if (reading.empty()) return;
  auto* row = new QTreeWidgetItem(&item);
  row->setText(kObjectColumn, QString::fromStdString(reading));
  row->setToolTip(kObjectColumn, item.toolTip(kObjectColumn));
  row->setFirstColumnSpanned(true);
  QFont italic = row->font(kObjectColumn);
  italic.setItalic(true);
  row->setFont(kObjectColumn, italic);
}

// Adds the objects under parent in the order TlvTreeLines writes them, so that each row's tooltip is its
// line of the copied text: the whole of what an elided cell cuts.
void AddObjects(const TlvTree& tree, const std::vector<TlvNode>& objects, QTreeWidgetItem* parent,
                const std::vector<std::string>& lines, std::size_t& line) {
  for (const TlvNode& node : objects) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(kObjectColumn, QString::fromStdString(TagText(node) + " " + std::string(node.Name)));
    item->setText(kLengthColumn, QString::number(node.Length));
    item->setTextAlignment(kLengthColumn, Qt::AlignRight | Qt::AlignVCenter);
    // Rich text, so that the tooltip wraps a long value instead of running off the screen.
    const QString tip =
        QStringLiteral("<p>%1</p>").arg(QString::fromStdString(lines[line++]).trimmed().toHtmlEscaped());
    for (const int column : {kObjectColumn, kLengthColumn, kValueColumn}) item->setToolTip(column, tip);
    AddValueRows(tree, node, *item);
    AddObjects(tree, node.Children, item, lines, line);
    AddReadingRow(tree, node, *item);
  }
}

}  // namespace

ExchangeStructureView::ExchangeStructureView(QWidget* parent)
    : QWidget(parent), reason_(new QLabel), tree_(new QTreeWidget), copy_(new QAction(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  reason_->setWordWrap(true);
  reason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reason_->setMargin(4);
  layout->addWidget(reason_, 1);
  layout->addWidget(tree_, 1);

  tree_->setColumnCount(3);
  tree_->setHeaderLabels({QStringLiteral("Tag, name"), QStringLiteral("Len"), QStringLiteral("Value")});
  tree_->headerItem()->setToolTip(kLengthColumn, QStringLiteral("The length of the value in bytes"));
  tree_->setIndentation(10);
  tree_->setTextElideMode(Qt::ElideRight);
  tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // The names take as much as a common name nested once ("8A Life cycle status"), so that the values keep
  // room for a row of 8 bytes; longer names are elided, whole in their tooltips.
  tree_->header()->setStretchLastSection(true);
  tree_->header()->setSectionResizeMode(kLengthColumn, QHeaderView::ResizeToContents);
  tree_->header()->resizeSection(
      kObjectColumn, tree_->fontMetrics().horizontalAdvance(QStringLiteral("8A Life cycle status")) +
                         2 * tree_->indentation() + 12);

  copy_->setText(QStringLiteral("Copy"));
  copy_->setToolTip(QStringLiteral("Copy the decoded data objects as indented text"));
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copy_, &QAction::triggered, this, &ExchangeStructureView::Copy);
  addAction(copy_);
  tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
  tree_->addAction(copy_);
  ShowReason(QStringLiteral("No answer yet"));
}

void ExchangeStructureView::Show(std::span<const std::uint8_t> data) {
  decoded_ = DecodeTlv(data);
  if (data.empty()) return ShowReason(QStringLiteral("No data: the answer is its status word alone"));
  if (!decoded_.WellFormed())
    return ShowReason(QStringLiteral("Not BER-TLV: %1").arg(QString::fromStdString(decoded_.Problem->Text)));
  hasTree_ = true;
  tree_->clear();
  std::size_t line = 0;
  AddObjects(decoded_, decoded_.Objects, tree_->invisibleRootItem(), TlvTreeLines(decoded_), line);
  tree_->expandAll();
  reason_->hide();
  tree_->show();
  copy_->setEnabled(true);
}

void ExchangeStructureView::ShowReason(const QString& reason) {
  hasTree_ = false;
  tree_->clear();
  tree_->hide();
  reason_->setText(reason);
  reason_->show();
  copy_->setEnabled(false);
}

QString ExchangeStructureView::Text() const {
  if (!hasTree_) return {};
  QString text;
  for (const std::string& line : TlvTreeLines(decoded_)) text += QString::fromStdString(line) + '\n';
  return text;
}

void ExchangeStructureView::Copy() {
  if (hasTree_) QApplication::clipboard()->setText(Text());
}

}  // namespace tessaly

#include "app/QtTreeControl.h"

#include <QCoreApplication>
#include <QPalette>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "monitor/MonitorNodeObject.h"
#include "platform/TessalyError.h"

namespace tessaly {

namespace {

constexpr int kItemType = QTreeWidgetItem::UserType + 1;
constexpr int kCaptionColumn = 0;
constexpr int kValueColumn = 1;

}  // namespace

// A widget item that carries, and owns, its node object.
class QtTreeControl::Item final : public QTreeWidgetItem, public TTreeNode {
 public:
  Item() : QTreeWidgetItem(kItemType) {}

  std::unique_ptr<TMonitorNodeObject> Object;
};

QtTreeControl::QtTreeControl(QTreeWidget& widget) : widget_(widget) {
  widget_.setColumnCount(2);
  widget_.setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
}

QtTreeControl::~QtTreeControl() {
  if (updateDepth_ > 0) widget_.setUpdatesEnabled(true);
}

bool QtTreeControl::IsDimmedKind(std::uint8_t kind) {
  switch (kind) {
    case mkProtocolManualOpen:
    case mkClosingModeManualOpen:
    case mkSharingModeManualOpen:
    case mkReader:
    case mkDeviceState:
    case mkDeviceInfo:
    case mkSmartCard:
    case mkATRNoCard:
    case mkProtocolNoCard:
    case mkSharingModeNoCard:
    case mkCardTypeNoCard:
    case mkChipTypeNoCard:
    case mkCardInfoNoCard:
      return true;
    default:
      return false;
  }
}

QTreeWidgetItem* QtTreeControl::ItemOf(TTreeNode* node) {
  if (node == &root_) return widget_.invisibleRootItem();
  return static_cast<Item*>(node);
}

QtTreeControl::Item* QtTreeControl::NodeOf(QTreeWidgetItem* item) {
  return item != nullptr && item->type() == kItemType ? static_cast<Item*>(item) : nullptr;
}

TTreeNode* QtTreeControl::RootNode() {
  return &root_;
}

int QtTreeControl::ChildCount(TTreeNode* node) {
  return ItemOf(node)->childCount();
}

TTreeNode* QtTreeControl::FirstChild(TTreeNode* node) {
  return NodeOf(ItemOf(node)->child(0));
}

TTreeNode* QtTreeControl::NextSibling(TTreeNode* node) {
  if (node == &root_) return nullptr;
  QTreeWidgetItem* item = ItemOf(node);
  QTreeWidgetItem* parent = item->parent() != nullptr ? item->parent() : widget_.invisibleRootItem();
  return NodeOf(parent->child(parent->indexOfChild(item) + 1));
}

TMonitorNodeObject* QtTreeControl::NodeData(TTreeNode* node) {
  return node == &root_ ? nullptr : static_cast<Item*>(node)->Object.get();
}

TMonitorNodeObject* QtTreeControl::ObjectOf(QTreeWidgetItem* item) {
  Item* node = NodeOf(item);
  return node != nullptr ? node->Object.get() : nullptr;
}

void QtTreeControl::SetNodeData(TTreeNode* node, std::unique_ptr<TMonitorNodeObject> object) {
  if (node == &root_) throw ETessalyError("The root of the monitor tree carries no node object");
  static_cast<Item*>(node)->Object = std::move(object);
}

TTreeNode* QtTreeControl::AddChild(TTreeNode* parent) {
  auto* item = new Item();  // the parent item owns it from here on
  ItemOf(parent)->addChild(item);
  return item;
}

void QtTreeControl::DeleteChildren(TTreeNode* node, bool keepHasChildrenMark) {
  QTreeWidgetItem* item = ItemOf(node);
  const bool showsMark =
      item->childCount() > 0 || item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator;
  qDeleteAll(item->takeChildren());
  item->setChildIndicatorPolicy(keepHasChildrenMark && showsMark
                                    ? QTreeWidgetItem::ShowIndicator
                                    : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void QtTreeControl::DeleteNode(TTreeNode* node) {
  if (node == &root_) throw ETessalyError("The root of the monitor tree cannot be deleted");
  delete static_cast<Item*>(node);
}

void QtTreeControl::Expand(TTreeNode* node) {
  ItemOf(node)->setExpanded(true);
}

void QtTreeControl::BeginUpdate() {
  if (updateDepth_++ == 0) widget_.setUpdatesEnabled(false);
}

void QtTreeControl::EndUpdate() {
  if (updateDepth_ > 0 && --updateDepth_ == 0) widget_.setUpdatesEnabled(true);
}

void QtTreeControl::RepaintNode(TTreeNode* node) {
  RefreshBranch(ItemOf(node));
  widget_.viewport()->update();
}

void QtTreeControl::RepaintAll() {
  RefreshBranch(widget_.invisibleRootItem());
  widget_.viewport()->update();
}

void QtTreeControl::ProcessMessages() {
  QCoreApplication::processEvents();
}

void QtTreeControl::RefreshBranch(QTreeWidgetItem* item) {
  if (Item* node = NodeOf(item)) Refresh(*node);
  for (int i = 0; i < item->childCount(); ++i) RefreshBranch(item->child(i));
}

void QtTreeControl::Refresh(Item& item) {
  if (item.Object == nullptr) return;
  item.setText(kCaptionColumn, QString::fromStdString(item.Object->Caption));
  item.setText(kValueColumn, QString::fromStdString(item.Object->Value));
  const QVariant foreground = IsDimmedKind(item.Object->Kind)
                                  ? QVariant(widget_.palette().brush(QPalette::Disabled, QPalette::Text))
                                  : QVariant();
  item.setData(kCaptionColumn, Qt::ForegroundRole, foreground);
  item.setData(kValueColumn, Qt::ForegroundRole, foreground);
}

}  // namespace tessaly

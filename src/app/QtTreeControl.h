#pragma once

#include <cstdint>
#include <memory>

#include "monitor/TreeControl.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace tessaly {

// The monitor's tree control over a QTreeWidget: two columns, the caption and the value. Texts are taken
// from the node objects when a node is repainted; the no-card, auto-open-off and not-yet-shown codes are
// drawn in greyed text. The widget must outlive the control and be filled only through it.
class QtTreeControl final : public TTreeControl {
 public:
  explicit QtTreeControl(QTreeWidget& widget);
  ~QtTreeControl() override;
  QtTreeControl(const QtTreeControl&) = delete;
  QtTreeControl& operator=(const QtTreeControl&) = delete;

  TTreeNode* RootNode() override;
  int ChildCount(TTreeNode* node) override;
  TTreeNode* FirstChild(TTreeNode* node) override;
  TTreeNode* NextSibling(TTreeNode* node) override;
  TMonitorNodeObject* NodeData(TTreeNode* node) override;
  void SetNodeData(TTreeNode* node, std::unique_ptr<TMonitorNodeObject> object) override;
  TTreeNode* AddChild(TTreeNode* parent) override;
  void DeleteChildren(TTreeNode* node, bool keepHasChildrenMark) override;
  void DeleteNode(TTreeNode* node) override;
  void Expand(TTreeNode* node) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void RepaintNode(TTreeNode* node) override;
  void RepaintAll() override;
  void ProcessMessages() override;

  // The node object an item of the widget carries; null for items without one.
  TMonitorNodeObject* ObjectOf(QTreeWidgetItem* item);

  // Whether the kind is drawn greyed: the absent or switched-off state of its pair.
  static bool IsDimmedKind(std::uint8_t kind);

 private:
  class Item;
  class Root final : public TTreeNode {};

  QTreeWidgetItem* ItemOf(TTreeNode* node);
  Item* NodeOf(QTreeWidgetItem* item);
  void RefreshBranch(QTreeWidgetItem* item);
  void Refresh(Item& item);

  QTreeWidget& widget_;
  Root root_;
  int updateDepth_ = 0;
};

}  // namespace tessaly

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/MonitorNodeObject.h"
#include "monitor/TreeControl.h"

namespace tessaly {

// A tree control held in memory, for hosts without a display and for tests. It records the calls that
// change how the control is drawn, and can be told to fail an append.
class MemoryTreeControl final : public TTreeControl {
 public:
  MemoryTreeControl();
  ~MemoryTreeControl() override;
  MemoryTreeControl(const MemoryTreeControl&) = delete;
  MemoryTreeControl& operator=(const MemoryTreeControl&) = delete;

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

  bool IsExpanded(TTreeNode* node) const;
  // True while the node has children, or has lost them and was told to keep its mark.
  bool HasChildrenMark(TTreeNode* node) const;
  TTreeNode* Parent(TTreeNode* node) const;
  int UpdateDepth() const { return updateDepth_; }

  // "BeginUpdate", "EndUpdate", "RepaintAll", "ProcessMessages" and "RepaintNode <caption>", in call order.
  const std::vector<std::string>& Journal() const { return journal_; }
  void ClearJournal() { journal_.clear(); }

  // The appendCount-th append from now (1 is the next one) throws ETessalyError.
  void FailAppend(int appendCount) { appendsBeforeFailure_ = appendCount; }

  // One line per node below the root, depth first: two blanks per level, the kind, the caption and,
  // when there is one, " = " and the value. A node without an object shows as "-".
  std::vector<std::string> Outline() const;

 private:
  struct MemoryNode;

  static MemoryNode& Cast(TTreeNode* node);
  static const MemoryNode& Cast(const TTreeNode* node);
  void OutlineBelow(const MemoryNode& node, int depth, std::vector<std::string>& lines) const;

  std::unique_ptr<MemoryNode> root_;
  int updateDepth_ = 0;
  int appendsBeforeFailure_ = 0;
  std::vector<std::string> journal_;
};

}  // namespace tessaly

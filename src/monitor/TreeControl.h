#pragma once

#include <memory>

namespace tessaly {

class TMonitorNodeObject;

// A node of a tree control. Each implementation derives its own node type from this handle.
class TTreeNode {
 protected:
  TTreeNode() = default;
  ~TTreeNode() = default;
};

// The tree control the monitor draws into, supplied by a host (a Qt widget, or a tree in memory).
// A node's data slot owns its node object: the object is released together with its node, so the monitor
// itself never frees one and a deleted branch takes its objects with it.
class TTreeControl {
 public:
  virtual ~TTreeControl() = default;

  // The invisible node whose children are the top-level nodes.
  virtual TTreeNode* RootNode() = 0;
  virtual int ChildCount(TTreeNode* node) = 0;
  virtual TTreeNode* FirstChild(TTreeNode* node) = 0;
  virtual TTreeNode* NextSibling(TTreeNode* node) = 0;

  // Null when the slot is empty.
  virtual TMonitorNodeObject* NodeData(TTreeNode* node) = 0;
  virtual void SetNodeData(TTreeNode* node, std::unique_ptr<TMonitorNodeObject> object) = 0;

  // Appends an empty node after the last child of parent.
  virtual TTreeNode* AddChild(TTreeNode* parent) = 0;
  // keepHasChildrenMark leaves the node showing an expand mark although it has no children left.
  virtual void DeleteChildren(TTreeNode* node, bool keepHasChildrenMark) = 0;
  // Deletes the node with everything below it.
  virtual void DeleteNode(TTreeNode* node) = 0;
  virtual void Expand(TTreeNode* node) = 0;

  // Batches nest; the control redraws once the outermost batch ends.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  // Redraws node and everything below it from the node objects.
  virtual void RepaintNode(TTreeNode* node) = 0;
  virtual void RepaintAll() = 0;

  // Lets the application handle its pending window messages; other handlers may run meanwhile.
  virtual void ProcessMessages() = 0;
};

}  // namespace tessaly

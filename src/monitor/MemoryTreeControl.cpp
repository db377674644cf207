#include "monitor/MemoryTreeControl.h"

#include <algorithm>
#include <iterator>

#include "platform/TessalyError.h"

namespace tessaly {

struct TMemoryTreeControl::TMemoryNode final : TTreeNode {
  TMemoryNode* Parent = nullptr;
  std::vector<std::unique_ptr<TMemoryNode>> Children;
  std::unique_ptr<TMonitorNodeObject> Object;
  bool Expanded = false;
  bool KeepsHasChildrenMark = false;
};

TMemoryTreeControl::TMemoryTreeControl() : root_(std::make_unique<TMemoryNode>()) {}

TMemoryTreeControl::~TMemoryTreeControl() = default;

TMemoryTreeControl::TMemoryNode& TMemoryTreeControl::Cast(TTreeNode* node) {
  return *static_cast<TMemoryNode*>(node);
}

const TMemoryTreeControl::TMemoryNode& TMemoryTreeControl::Cast(const TTreeNode* node) {
  return *static_cast<const TMemoryNode*>(node);
}

TTreeNode* TMemoryTreeControl::RootNode() {
  return root_.get();
}

int TMemoryTreeControl::ChildCount(TTreeNode* node) {
  return static_cast<int>(Cast(node).Children.size());
}

TTreeNode* TMemoryTreeControl::FirstChild(TTreeNode* node) {
  auto& children = Cast(node).Children;
  return children.empty() ? nullptr : children.front().get();
}

TTreeNode* TMemoryTreeControl::NextSibling(TTreeNode* node) {
  TMemoryNode* parent = Cast(node).Parent;
  if (parent == nullptr) return nullptr;
  auto& siblings = parent->Children;
  auto it =
      std::find_if(siblings.begin(), siblings.end(), [&](const auto& child) { return child.get() == node; });
  return (it == siblings.end() || std::next(it) == siblings.end()) ? nullptr : std::next(it)->get();
}

TMonitorNodeObject* TMemoryTreeControl::NodeData(TTreeNode* node) {
  return Cast(node).Object.get();
}

void TMemoryTreeControl::SetNodeData(TTreeNode* node, std::unique_ptr<TMonitorNodeObject> object) {
  Cast(node).Object = std::move(object);
}

TTreeNode* TMemoryTreeControl::AddChild(TTreeNode* parent) {
  if (appendsBeforeFailure_ > 0 && --appendsBeforeFailure_ == 0) {
    throw ETessalyError("The tree control refused to append a node");
  }
  auto child = std::make_unique<TMemoryNode>();
  child->Parent = &Cast(parent);
  return Cast(parent).Children.emplace_back(std::move(child)).get();
}

void TMemoryTreeControl::DeleteChildren(TTreeNode* node, bool keepHasChildrenMark) {
  TMemoryNode& target = Cast(node);
  target.KeepsHasChildrenMark =
      keepHasChildrenMark && (target.KeepsHasChildrenMark || !target.Children.empty());
  target.Children.clear();
}

void TMemoryTreeControl::DeleteNode(TTreeNode* node) {
  TMemoryNode* parent = Cast(node).Parent;
  if (parent == nullptr) throw ETessalyError("The root of a tree control cannot be deleted");
  std::erase_if(parent->Children, [&](const auto& child) { return child.get() == node; });
}

void TMemoryTreeControl::Expand(TTreeNode* node) {
  Cast(node).Expanded = true;
}

void TMemoryTreeControl::BeginUpdate() {
  ++updateDepth_;
  journal_.emplace_back("BeginUpdate");
}

void TMemoryTreeControl::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  journal_.emplace_back("EndUpdate");
}

void TMemoryTreeControl::RepaintNode(TTreeNode* node) {
  const TMonitorNodeObject* object = Cast(node).Object.get();
  journal_.push_back("RepaintNode " + (object != nullptr ? object->Caption : std::string("-")));
}

void TMemoryTreeControl::RepaintAll() {
  journal_.emplace_back("RepaintAll");
}

void TMemoryTreeControl::ProcessMessages() {
  journal_.emplace_back("ProcessMessages");
}

bool TMemoryTreeControl::IsExpanded(TTreeNode* node) const {
  return Cast(node).Expanded;
}

bool TMemoryTreeControl::HasChildrenMark(TTreeNode* node) const {
  const TMemoryNode& target = Cast(node);
  return !target.Children.empty() || target.KeepsHasChildrenMark;
}

TTreeNode* TMemoryTreeControl::Parent(TTreeNode* node) const {
  return Cast(node).Parent;
}

std::vector<std::string> TMemoryTreeControl::Outline() const {
  std::vector<std::string> lines;
  OutlineBelow(*root_, 0, lines);
  return lines;
}

void TMemoryTreeControl::OutlineBelow(const TMemoryNode& node, int depth,
                                      std::vector<std::string>& lines) const {
  for (const auto& child : node.Children) {
    std::string line(static_cast<std::size_t>(depth) * 2, ' ');
    if (const TMonitorNodeObject* object = child->Object.get()) {
      line += std::to_string(object->Kind) + ' ' + object->Caption;
      if (!object->Value.empty()) line += " = " + object->Value;
    } else {
      line += '-';
    }
    lines.push_back(std::move(line));
    OutlineBelow(*child, depth + 1, lines);
  }
}

}  // namespace tessaly

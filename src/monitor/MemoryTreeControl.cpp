#include "monitor/MemoryTreeControl.h"

#include <algorithm>
#include <iterator>

#include "platform/TessalyError.h"

namespace tessaly {

struct MemoryTreeControl::MemoryNode final : TTreeNode {
  MemoryNode* Parent = nullptr;
  std::vector<std::unique_ptr<MemoryNode>> Children;
  std::unique_ptr<TMonitorNodeObject> Object;
  bool Expanded = false;
  bool KeepsHasChildrenMark = false;
};

MemoryTreeControl::MemoryTreeControl() : root_(std::make_unique<MemoryNode>()) {}

MemoryTreeControl::~MemoryTreeControl() = default;

MemoryTreeControl::MemoryNode& MemoryTreeControl::Cast(TTreeNode* node) {
  return *static_cast<MemoryNode*>(node);
}

const MemoryTreeControl::MemoryNode& MemoryTreeControl::Cast(const TTreeNode* node) {
  return *static_cast<const MemoryNode*>(node);
}

TTreeNode* MemoryTreeControl::RootNode() {
  return root_.get();
}

int MemoryTreeControl::ChildCount(TTreeNode* node) {
  return static_cast<int>(Cast(node).Children.size());
}

TTreeNode* MemoryTreeControl::FirstChild(TTreeNode* node) {
  auto& children = Cast(node).Children;
  return children.empty() ? nullptr : children.front().get();
}

TTreeNode* MemoryTreeControl::NextSibling(TTreeNode* node) {
  MemoryNode* parent = Cast(node).Parent;
  if (parent == nullptr) return nullptr;
  auto& siblings = parent->Children;
  auto it =
      std::find_if(siblings.begin(), siblings.end(), [&](const auto& child) { return child.get() == node; });
  return (it == siblings.end() || std::next(it) == siblings.end()) ? nullptr : std::next(it)->get();
}

TMonitorNodeObject* MemoryTreeControl::NodeData(TTreeNode* node) {
  return Cast(node).Object.get();
}

void MemoryTreeControl::SetNodeData(TTreeNode* node, std::unique_ptr<TMonitorNodeObject> object) {
  Cast(node).Object = std::move(object);
}

TTreeNode* MemoryTreeControl::AddChild(TTreeNode* parent) {
  if (appendsBeforeFailure_ > 0 && --appendsBeforeFailure_ == 0) {
    throw ETessalyError("The tree control refused to append a node");
  }
  auto child = std::make_unique<MemoryNode>();
  child->Parent = &Cast(parent);
  return Cast(parent).Children.emplace_back(std::move(child)).get();
}

void MemoryTreeControl::DeleteChildren(TTreeNode* node, bool keepHasChildrenMark) {
  MemoryNode& target = Cast(node);
  target.KeepsHasChildrenMark =
      keepHasChildrenMark && (target.KeepsHasChildrenMark || !target.Children.empty());
  target.Children.clear();
}

void MemoryTreeControl::DeleteNode(TTreeNode* node) {
  MemoryNode* parent = Cast(node).Parent;
  if (parent == nullptr) throw ETessalyError("The root of a tree control cannot be deleted");
  std::erase_if(parent->Children, [&](const auto& child) { return child.get() == node; });
}

void MemoryTreeControl::Expand(TTreeNode* node) {
  Cast(node).Expanded = true;
}

void MemoryTreeControl::BeginUpdate() {
  ++updateDepth_;
  journal_.emplace_back("BeginUpdate");
}

void MemoryTreeControl::EndUpdate() {
  if (updateDepth_ > 0) --updateDepth_;
  journal_.emplace_back("EndUpdate");
}

void MemoryTreeControl::RepaintNode(TTreeNode* node) {
  const TMonitorNodeObject* object = Cast(node).Object.get();
  journal_.push_back("RepaintNode " + (object != nullptr ? object->Caption : std::string("-")));
}

void MemoryTreeControl::RepaintAll() {
  journal_.emplace_back("RepaintAll");
}

void MemoryTreeControl::ProcessMessages() {
  journal_.emplace_back("ProcessMessages");
}

bool MemoryTreeControl::IsExpanded(TTreeNode* node) const {
  return Cast(node).Expanded;
}

bool MemoryTreeControl::HasChildrenMark(TTreeNode* node) const {
  const MemoryNode& target = Cast(node);
  return !target.Children.empty() || target.KeepsHasChildrenMark;
}

TTreeNode* MemoryTreeControl::Parent(TTreeNode* node) const {
  return Cast(node).Parent;
}

std::vector<std::string> MemoryTreeControl::Outline() const {
  std::vector<std::string> lines;
  OutlineBelow(*root_, 0, lines);
  return lines;
}

void MemoryTreeControl::OutlineBelow(const MemoryNode& node, int depth,
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

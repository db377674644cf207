#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/MemoryTreeControl.h"
#include "monitor/_VMonitorTree.h"

namespace tessaly::test {

using Lines = std::vector<std::string>;

// A tree in memory with the two nodes a host creates: the top node and the readers group below it.
class MonitorTree : public ::testing::Test {
 protected:
  MonitorTree()
      : top(AppendMonitorNode(tree, tree.RootNode(), mkTop, "Monitor")),
        readers(AppendMonitorNode(tree, top, mkReadersGroup, "Readers")) {}

  TMonitorNodeObject& ObjectOf(TTreeNode* node) { return *tree.NodeData(node); }

  MemoryTreeControl tree;
  TTreeNode* top;
  TTreeNode* readers;
};

}  // namespace tessaly::test

#pragma once

#include <cstdint>
#include <string>

#include "monitor/MonitorNodeObject.h"
#include "monitor/TreeControl.h"
#include "readers/ReaderTable.h"

namespace tessaly {

// The monitor shows each reader's device state and card, and the connection preferences, in a tree the
// host supplies. The host creates the top node (kind 0 or 1) and the readers group below it (kind 19);
// every other node is created here on demand and kept. Searches look only at the direct children of one
// parent, first to last, and pass over nodes without an object.

// Updates called by the connection and the kernel.

// Shows one reader's card; smartCardNode may be null, the reader's node is then found (or made) by name.
// Always repaints the control and processes pending messages, also when a step throws.
void ShowCard(TTreeControl& tree, TTreeNode* smartCardNode, const std::string& readerName,
              const TCardInfo* cardInfo, const TConnectParams& params);
// With no params only the nodes are ensured.
void ShowDetectDefaults(TTreeControl& tree, const TConnectParams* params);
// flags: low byte separate received hex bytes, high byte log all events (non-zero is true).
void ShowMiscellaneous(TTreeControl& tree, std::uint16_t flags);

constexpr std::uint16_t MiscellaneousFlags(bool separateHexBytes, bool logAllEvents) {
  return static_cast<std::uint16_t>((logAllEvents ? 0x100 : 0) | (separateHexBytes ? 1 : 0));
}

// Searches and node helpers.

// Appends a child carrying a new node object; hosts use it for the top node and the readers group.
TTreeNode* AppendMonitorNode(TTreeControl& tree, TTreeNode* parent, std::uint8_t kind, std::string caption,
                             std::string value = {});
TTreeNode* FindTopNode(TTreeControl& tree);
TTreeNode* FindReadersGroup(TTreeControl& tree);
// Reader names compare exactly, case included.
TTreeNode* FindReaderNode(TTreeControl& tree, const std::string& readerName, bool create);
// Always creates the reader node; create applies to the group itself.
TTreeNode* FindReaderGroup(TTreeControl& tree, const std::string& readerName, std::uint8_t kind, bool create);
TTreeNode* FindCardItem(TTreeControl& tree, TTreeNode* smartCardNode, const std::string& readerName,
                        bool create, std::uint8_t kind);
TTreeNode* FindLastErrorNode(TTreeControl& tree, TTreeNode* node, bool create);
// Removes the reader's "Last Error" node; with an empty or unknown name, the top node's.
void RemoveLastError(TTreeControl& tree, const std::string& readerName);
void DeleteBranch(TTreeControl& tree, TTreeNode* node);
void ShowReader(TTreeControl& tree, const std::string& readerName, int level);
// Shows the reader's device state in words as the value of its "Device State" node.
void ShowDeviceState(TTreeControl& tree, const std::string& readerName, const std::string& state);
// Creating "Preferences" also creates its two groups, so they always stand in the same order.
TTreeNode* FindPreferencesNode(TTreeControl& tree);
TTreeNode* FindPreferencesGroup(TTreeControl& tree, std::uint8_t kind);

// Lower-cases ASCII capitals, then upper-cases the first character above "Z" if it is an ASCII letter:
// "VENDOR NAME" becomes "Vendor name".
std::string Capitalize(const std::string& text);

}  // namespace tessaly

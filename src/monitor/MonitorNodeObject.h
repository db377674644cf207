#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tessaly {

class TTreeControl;
class TTreeNode;

// Kind codes of the monitor's nodes. Paired codes name one node in two display states.
enum TMonitorNodeKind : std::uint8_t {
  mkTop = 0,
  mkTopAlternate = 1,
  mkPreferences = 2,
  mkCardDetectingDefaults = 3,
  mkAutoOpen = 4,
  mkProtocolAutoOpen = 5,
  mkProtocolManualOpen = 6,
  mkClosingModeAutoOpen = 7,
  mkClosingModeManualOpen = 8,
  mkSharingModeAutoOpen = 9,
  mkSharingModeManualOpen = 10,
  mkMiscellaneous = 11,
  mkSeparateHexBytes = 12,
  mkEventsLogging = 13,
  mkReadersGroup = 19,
  mkReadersGroupFilled = 20,
  mkReader = 21,
  mkReaderShown = 22,
  mkDeviceState = 23,
  mkDeviceStateActive = 24,
  mkDeviceInfoActive = 30,
  mkDeviceInfo = 31,
  mkSmartCardActive = 34,
  mkSmartCard = 35,
  mkATRPresent = 36,
  mkATRNoCard = 37,
  mkProtocolPresent = 38,
  mkProtocolNoCard = 39,
  mkSharingModePresent = 40,
  mkSharingModeNoCard = 41,
  mkCardTypePresent = 42,
  mkCardTypeNoCard = 43,
  mkChipTypePresent = 48,
  mkChipTypeNoCard = 49,
  mkCardInfoPresent = 50,
  mkCardInfoNoCard = 51,
  mkCardInfoHeading = 52,
  mkCardInfoItem = 53,
  mkLastError = 64,
};

// The payload of one monitor node: what the node shows and in which state.
class TMonitorNodeObject {
 public:
  TMonitorNodeObject(TTreeControl* tree, TTreeNode* node, std::uint8_t kind, std::string caption,
                     std::string value)
      : Node(node), Tree(tree), Kind(kind), Value(std::move(value)), Caption(std::move(caption)) {}

  void SetCaption(std::string caption) { Caption = std::move(caption); }
  void SetValue(std::string value) { Value = std::move(value); }

  TTreeNode* Node;
  TTreeControl* Tree;
  std::uint8_t Kind;
  std::string Value;  // empty for group nodes
  std::string Caption;
};

}  // namespace tessaly

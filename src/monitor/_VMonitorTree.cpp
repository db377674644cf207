#include "monitor/_VMonitorTree.h"

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/CleanUp.h"
#include "platform/TextRules.h"
#include "readers/Vocabulary.h"

namespace tessaly {

namespace {

// A node that a search may create: the two codes it answers to, its caption and its creation code.
struct NodeRecipe {
  std::uint8_t Kind;
  std::uint8_t PairedKind;
  const char* Caption;
  std::uint8_t CreationKind;

  bool Answers(std::uint8_t kind) const { return kind == Kind || kind == PairedKind; }
};

constexpr std::array kReaderGroups{
    NodeRecipe{mkDeviceState, mkDeviceStateActive, "Device State", mkDeviceState},
    NodeRecipe{mkDeviceInfoActive, mkDeviceInfo, "Device Info", mkDeviceInfo},
    NodeRecipe{mkSmartCardActive, mkSmartCard, "Smart Card", mkSmartCard},
    NodeRecipe{mkLastError, mkLastError, "Last Error", mkLastError},
};

constexpr std::array kCardItems{
    NodeRecipe{mkATRPresent, mkATRNoCard, "ATR", mkATRNoCard},
    NodeRecipe{mkProtocolPresent, mkProtocolNoCard, "Protocol", mkProtocolNoCard},
    NodeRecipe{mkSharingModePresent, mkSharingModeNoCard, "Sharing Mode", mkSharingModeNoCard},
    NodeRecipe{mkCardTypePresent, mkCardTypeNoCard, "Card Type", mkCardTypeNoCard},
    NodeRecipe{mkChipTypePresent, mkChipTypeNoCard, "Chip Type", mkChipTypeNoCard},
    NodeRecipe{mkCardInfoPresent, mkCardInfoNoCard, "Card Info", mkCardInfoNoCard},
};

constexpr std::array kPreferencesGroups{
    NodeRecipe{mkCardDetectingDefaults, mkCardDetectingDefaults, "Card Detecting Defaults",
               mkCardDetectingDefaults},
    NodeRecipe{mkMiscellaneous, mkMiscellaneous, "Miscellaneous", mkMiscellaneous},
};

constexpr std::array kLastError{NodeRecipe{mkLastError, mkLastError, "Last Error", mkLastError}};

// In the order in which missing items are appended.
constexpr std::array kDetectDefaultsItems{
    NodeRecipe{mkAutoOpen, mkAutoOpen, "Open the reader automatically", mkAutoOpen},
    NodeRecipe{mkProtocolAutoOpen, mkProtocolManualOpen, "Preferred Protocol", mkProtocolManualOpen},
    NodeRecipe{mkSharingModeAutoOpen, mkSharingModeManualOpen, "Preferred Sharing Mode",
               mkSharingModeManualOpen},
    NodeRecipe{mkClosingModeAutoOpen, mkClosingModeManualOpen, "Card Closing Mode", mkClosingModeManualOpen},
};

constexpr std::array kMiscellaneousItems{
    NodeRecipe{mkSeparateHexBytes, mkSeparateHexBytes, "Separate received HEX bytes", mkSeparateHexBytes},
    NodeRecipe{mkEventsLogging, mkEventsLogging, "Events logging", mkEventsLogging},
};

TMonitorNodeObject* ObjectOf(TTreeControl& tree, TTreeNode* node) {
  return node == nullptr ? nullptr : tree.NodeData(node);
}

template <typename Predicate>
TTreeNode* FindChild(TTreeControl& tree, TTreeNode* parent, Predicate matches) {
  for (TTreeNode* child = tree.FirstChild(parent); child != nullptr; child = tree.NextSibling(child)) {
    const TMonitorNodeObject* object = tree.NodeData(child);
    if (object != nullptr && matches(*object)) return child;
  }
  return nullptr;
}

TTreeNode* FindChildOfKinds(TTreeControl& tree, TTreeNode* parent, std::uint8_t kind,
                            std::uint8_t pairedKind) {
  return FindChild(tree, parent, [&](const TMonitorNodeObject& object) {
    return object.Kind == kind || object.Kind == pairedKind;
  });
}

// Finds the child answering to kind (either code of its pair when recipes list one) and, if asked,
// creates it when recipes say how; any other kind matches only itself and creates nothing.
TTreeNode* FindOrCreateChild(TTreeControl& tree, TTreeNode* parent, std::uint8_t kind, bool create,
                             std::span<const NodeRecipe> recipes) {
  const NodeRecipe* recipe = nullptr;
  for (const NodeRecipe& candidate : recipes) {
    if (candidate.Answers(kind)) recipe = &candidate;
  }
  TTreeNode* found = recipe != nullptr ? FindChildOfKinds(tree, parent, recipe->Kind, recipe->PairedKind)
                                       : FindChildOfKinds(tree, parent, kind, kind);
  if (found != nullptr || !create || recipe == nullptr) return found;
  return AppendMonitorNode(tree, parent, recipe->CreationKind, recipe->Caption);
}

// The last child answering to each recipe; the missing ones are appended in the recipes' order.
template <std::size_t N>
std::array<TMonitorNodeObject*, N> EnsureItems(TTreeControl& tree, TTreeNode* group,
                                               const std::array<NodeRecipe, N>& recipes) {
  std::array<TMonitorNodeObject*, N> items{};
  for (TTreeNode* child = tree.FirstChild(group); child != nullptr; child = tree.NextSibling(child)) {
    TMonitorNodeObject* object = tree.NodeData(child);
    if (object == nullptr) continue;
    for (std::size_t i = 0; i < N; ++i) {
      if (recipes[i].Answers(object->Kind)) items[i] = object;
    }
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (items[i] == nullptr) {
      items[i] = ObjectOf(tree, AppendMonitorNode(tree, group, recipes[i].CreationKind, recipes[i].Caption));
    }
  }
  return items;
}

void SetKind(TTreeControl& tree, TTreeNode* node, std::uint8_t kind) {
  if (TMonitorNodeObject* object = ObjectOf(tree, node)) object->Kind = kind;
}

std::string Hex8(std::int32_t code) {
  auto bits = static_cast<std::uint32_t>(code);
  std::string text(8, '0');
  for (auto it = text.rbegin(); it != text.rend(); ++it, bits >>= 4) *it = HexDigit(bits);
  return text;
}

std::string WithHexCode(const std::string& name, std::int32_t code) {
  return name + "   ( 0x" + Hex8(code) + " )";
}

// Name-to-value lookup of "name=value" lines: names compare without case and the first line wins.
class InfoValues {
 public:
  explicit InfoValues(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      const std::size_t separator = line.find('=');
      if (separator != std::string::npos) {
        values_.emplace(ToAsciiLower(line.substr(0, separator)), line.substr(separator + 1));
      }
    }
  }

  std::string ValueOf(const std::string& name) const {
    const auto it = values_.find(ToAsciiLower(name));
    return it == values_.end() ? std::string() : it->second;
  }

 private:
  std::unordered_map<std::string, std::string> values_;
};

// Headings (lines without a name) go under "Card Info"; each name/value line goes under the latest heading.
void FillCardInfo(TTreeControl& tree, TTreeNode* cardInfo, const std::vector<std::string>& lines) {
  const InfoValues values(lines);
  TTreeNode* parent = cardInfo;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    const std::size_t separator = line.find('=');
    const std::string name =
        Capitalize(separator == std::string::npos ? std::string() : line.substr(0, separator));
    if (name.empty()) {
      parent = AppendMonitorNode(tree, cardInfo, mkCardInfoHeading, ToAsciiUpper(line));
    } else {
      AppendMonitorNode(tree, parent, mkCardInfoItem, name, TextOrNoInfo(values.ValueOf(name)));
    }
  }
}

// Runs update on the card item of kind; an item that cannot be obtained is left out.
template <typename Update>
void UpdateCardItem(TTreeControl& tree, TTreeNode* smartCard, const std::string& readerName,
                    std::uint8_t kind, Update update) {
  TTreeNode* node = FindCardItem(tree, smartCard, readerName, true, kind);
  if (TMonitorNodeObject* object = ObjectOf(tree, node)) update(*object, node);
}

void ShowPresentCard(TTreeControl& tree, TTreeNode* smartCard, const std::string& readerName,
                     const TCardInfo& cardInfo, const TConnectParams& params) {
  ShowReader(tree, readerName, 4);
  UpdateCardItem(tree, smartCard, readerName, mkProtocolPresent, [&](TMonitorNodeObject& item, TTreeNode*) {
    const std::int32_t protocol = cardInfo.ActiveProtocol;
    item.SetValue(
        TextOrNoInfo(protocol == -1 ? std::string() : WithHexCode(ProtocolToStr(protocol), protocol)));
    item.Kind = mkProtocolPresent;
  });
  UpdateCardItem(tree, smartCard, readerName, mkATRPresent, [&](TMonitorNodeObject& item, TTreeNode*) {
    item.SetValue(TextOrNoInfo(cardInfo.ATR));
    item.Kind = mkATRPresent;
  });
  UpdateCardItem(tree, smartCard, readerName, mkSharingModePresent,
                 [&](TMonitorNodeObject& item, TTreeNode*) {
                   item.Kind = mkSharingModePresent;
                   item.SetValue(WithHexCode(ShareModeToStr(params.ShareMode), params.ShareMode));
                 });
  if (cardInfo.InfoList == nullptr) return;
  UpdateCardItem(tree, smartCard, readerName, mkCardInfoPresent,
                 [&](TMonitorNodeObject& item, TTreeNode* node) {
                   item.Kind = mkCardInfoPresent;
                   tree.DeleteChildren(node, true);
                   FillCardInfo(tree, node, *cardInfo.InfoList);
                 });
}

void ShowNoCard(TTreeControl& tree, TTreeNode* smartCard, const std::string& readerName) {
  UpdateCardItem(tree, smartCard, readerName, mkATRNoCard, [](TMonitorNodeObject& item, TTreeNode*) {
    item.SetValue({});
    item.Kind = mkATRNoCard;
  });
  UpdateCardItem(tree, smartCard, readerName, mkProtocolNoCard, [](TMonitorNodeObject& item, TTreeNode*) {
    item.SetValue({});
    item.Kind = mkProtocolNoCard;
  });
  UpdateCardItem(tree, smartCard, readerName, mkSharingModeNoCard, [](TMonitorNodeObject& item, TTreeNode*) {
    item.Kind = mkSharingModeNoCard;
    item.SetValue({});
  });
  UpdateCardItem(tree, smartCard, readerName, mkCardInfoNoCard,
                 [&](TMonitorNodeObject& item, TTreeNode* node) {
                   tree.DeleteChildren(node, false);
                   item.SetValue({});
                   item.Kind = mkCardInfoNoCard;
                 });
}

void ShowCardData(TTreeControl& tree, TTreeNode* smartCardNode, const std::string& readerName,
                  const TCardInfo& cardInfo, const TConnectParams& params) {
  TTreeNode* smartCard =
      smartCardNode != nullptr ? smartCardNode : FindReaderGroup(tree, readerName, mkSmartCardActive, true);
  if (cardInfo.CardState == csCardReady || cardInfo.CardState == csCardTypeLoaded) {
    ShowPresentCard(tree, smartCard, readerName, cardInfo, params);
  } else {
    ShowNoCard(tree, smartCard, readerName);
  }
}

void ShowDetectDefaultsItems(TTreeControl& tree, const TConnectParams* params) {
  TTreeNode* group = FindPreferencesGroup(tree, mkCardDetectingDefaults);
  if (group == nullptr) return;
  const auto [autoOpen, protocol, sharingMode, closingMode] = EnsureItems(tree, group, kDetectDefaultsItems);
  if (params == nullptr) return;
  const bool on = params->AutoOpen;
  autoOpen->SetValue(BoolToYesNo(on));
  sharingMode->SetValue(ShareModeToStr(params->ShareMode));
  sharingMode->Kind = on ? mkSharingModeAutoOpen : mkSharingModeManualOpen;
  protocol->SetValue(ProtocolToStr(params->Protocol));
  protocol->Kind = on ? mkProtocolAutoOpen : mkProtocolManualOpen;
  closingMode->SetValue(DispositionToStr(params->ClosingMode));
  closingMode->Kind = on ? mkClosingModeAutoOpen : mkClosingModeManualOpen;
}

void ShowMiscellaneousItems(TTreeControl& tree, bool separateHexBytes, bool logAllEvents) {
  TTreeNode* group = FindPreferencesGroup(tree, mkMiscellaneous);
  if (group == nullptr) return;
  const auto [separateHex, eventsLogging] = EnsureItems(tree, group, kMiscellaneousItems);
  separateHex->SetValue(BoolToYesNo(separateHexBytes));
  eventsLogging->SetValue(logAllEvents ? "Log all events" : "Log most useful events only ");
}

void RepaintAndProcessMessages(TTreeControl& tree) {
  tree.RepaintAll();
  tree.ProcessMessages();
}

// The update runs inside one batch; the batch ends and the control repaints whether or not it throws.
template <typename Update>
void RunBatched(TTreeControl& tree, Update update) {
  tree.BeginUpdate();
  RunWithCleanUp(
      update, [&] { tree.EndUpdate(); }, [&] { RepaintAndProcessMessages(tree); });
}

}  // namespace

TTreeNode* AppendMonitorNode(TTreeControl& tree, TTreeNode* parent, std::uint8_t kind, std::string caption,
                             std::string value) {
  TTreeNode* node = tree.AddChild(parent);
  tree.SetNodeData(
      node, std::make_unique<TMonitorNodeObject>(&tree, node, kind, std::move(caption), std::move(value)));
  return node;
}

TTreeNode* FindTopNode(TTreeControl& tree) {
  return FindChildOfKinds(tree, tree.RootNode(), mkTop, mkTopAlternate);
}

TTreeNode* FindReadersGroup(TTreeControl& tree) {
  TTreeNode* top = FindTopNode(tree);
  return top == nullptr ? nullptr : FindChildOfKinds(tree, top, mkReadersGroup, mkReadersGroupFilled);
}

TTreeNode* FindReaderNode(TTreeControl& tree, const std::string& readerName, bool create) {
  if (readerName.empty()) return nullptr;
  TTreeNode* group = FindReadersGroup(tree);
  if (group == nullptr) return nullptr;
  TTreeNode* found = FindChild(tree, group, [&](const TMonitorNodeObject& object) {
    return (object.Kind == mkReader || object.Kind == mkReaderShown) && object.Caption == readerName;
  });
  if (found != nullptr || !create) return found;
  SetKind(tree, group, mkReadersGroupFilled);
  tree.Expand(group);
  return AppendMonitorNode(tree, group, mkReader, readerName);
}

TTreeNode* FindReaderGroup(TTreeControl& tree, const std::string& readerName, std::uint8_t kind,
                           bool create) {
  if (readerName.empty()) return nullptr;
  TTreeNode* reader = FindReaderNode(tree, readerName, true);
  return reader == nullptr ? nullptr : FindOrCreateChild(tree, reader, kind, create, kReaderGroups);
}

TTreeNode* FindCardItem(TTreeControl& tree, TTreeNode* smartCardNode, const std::string& readerName,
                        bool create, std::uint8_t kind) {
  TTreeNode* smartCard =
      smartCardNode != nullptr ? smartCardNode : FindReaderGroup(tree, readerName, mkSmartCardActive, true);
  return smartCard == nullptr ? nullptr : FindOrCreateChild(tree, smartCard, kind, create, kCardItems);
}

TTreeNode* FindLastErrorNode(TTreeControl& tree, TTreeNode* node, bool create) {
  return node == nullptr ? nullptr : FindOrCreateChild(tree, node, mkLastError, create, kLastError);
}

void RemoveLastError(TTreeControl& tree, const std::string& readerName) {
  TTreeNode* start = readerName.empty() ? nullptr : FindReaderNode(tree, readerName, false);
  if (start == nullptr) start = FindTopNode(tree);
  if (TTreeNode* lastError = FindLastErrorNode(tree, start, false)) DeleteBranch(tree, lastError);
}

void DeleteBranch(TTreeControl& tree, TTreeNode* node) {
  if (node == nullptr) return;
  tree.DeleteChildren(node, false);
  tree.DeleteNode(node);
}

void ShowReader(TTreeControl& tree, const std::string& readerName, int level) {
  if (readerName.empty()) return;
  TTreeNode* reader = FindReaderNode(tree, readerName, true);
  if (reader == nullptr) return;
  TTreeNode* deviceInfo = FindReaderGroup(tree, readerName, mkDeviceInfo, true);
  TTreeNode* deviceState = FindReaderGroup(tree, readerName, mkDeviceState, true);
  TTreeNode* smartCard = FindReaderGroup(tree, readerName, mkSmartCard, true);
  SetKind(tree, reader, mkReaderShown);
  if (level > 1) SetKind(tree, deviceState, mkDeviceStateActive);
  if (level >= 4) SetKind(tree, deviceInfo, mkDeviceInfoActive);
  if (level > 1) SetKind(tree, smartCard, mkSmartCardActive);
  if (TMonitorNodeObject* object = ObjectOf(tree, smartCard)) object->SetValue({});
  RemoveLastError(tree, readerName);
  RemoveLastError(tree, {});
  tree.RepaintNode(reader);
}

void ShowDeviceState(TTreeControl& tree, const std::string& readerName, const std::string& state) {
  // "Device Info" is asked for first, so that the reader's groups keep their usual order.
  if (FindReaderGroup(tree, readerName, mkDeviceInfo, true) == nullptr) return;
  TTreeNode* deviceState = FindReaderGroup(tree, readerName, mkDeviceState, true);
  TMonitorNodeObject* object = ObjectOf(tree, deviceState);
  if (object == nullptr || object->Value == state) return;
  object->SetValue(state);
  tree.RepaintNode(deviceState);
}

TTreeNode* FindPreferencesNode(TTreeControl& tree) {
  TTreeNode* top = FindTopNode(tree);
  if (top == nullptr) return nullptr;
  if (TTreeNode* found = FindChildOfKinds(tree, top, mkPreferences, mkPreferences)) return found;
  TTreeNode* preferences = AppendMonitorNode(tree, top, mkPreferences, "Preferences");
  FindPreferencesGroup(tree, mkCardDetectingDefaults);
  FindPreferencesGroup(tree, mkMiscellaneous);
  return preferences;
}

TTreeNode* FindPreferencesGroup(TTreeControl& tree, std::uint8_t kind) {
  TTreeNode* preferences = FindPreferencesNode(tree);
  return preferences == nullptr ? nullptr
                                : FindOrCreateChild(tree, preferences, kind, true, kPreferencesGroups);
}

std::string Capitalize(const std::string& text) {
  std::string result = ToAsciiLower(text);
  for (char& c : result) {
    if (static_cast<unsigned char>(c) > 'Z') {
      c = AsciiUpper(c);
      break;
    }
  }
  return result;
}

void ShowCard(TTreeControl& tree, TTreeNode* smartCardNode, const std::string& readerName,
              const TCardInfo* cardInfo, const TConnectParams& params) {
  RunWithCleanUp(
      [&] {
        if (cardInfo != nullptr) ShowCardData(tree, smartCardNode, readerName, *cardInfo, params);
      },
      [&] { RepaintAndProcessMessages(tree); });
}

void ShowDetectDefaults(TTreeControl& tree, const TConnectParams* params) {
  RunBatched(tree, [&] { ShowDetectDefaultsItems(tree, params); });
}

void ShowMiscellaneous(TTreeControl& tree, std::uint16_t flags) {
  const bool separateHexBytes = (flags & 0xFF) != 0;
  const bool logAllEvents = (flags >> 8) != 0;
  RunBatched(tree, [&] { ShowMiscellaneousItems(tree, separateHexBytes, logAllEvents); });
}

}  // namespace tessaly

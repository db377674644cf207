#include <algorithm>

#include "platform/HexText.h"
#include "platform/TextRules.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

std::string NodeLine(const TlvTree& tree, const TlvNode& node, std::size_t depth) {
  std::string line = std::string(2 * depth, ' ') + TagText(node) + " " + std::string(node.Name) + ", " +
                     CountOf(node.Length, "byte");
  if (node.ValueSize < node.Length) line += " (" + std::to_string(node.ValueSize) + " present)";
  if (!node.Constructed && node.ValueSize > 0) line += ": " + HexText(tree.ValueOf(node));
  if (const auto text = PrintableValue(tree, node)) line += " \"" + *text + "\"";
  if (!node.Explanation.empty()) line += " (" + node.Explanation + ")";
  return line;
}

void AddLines(const TlvTree& tree, const std::vector<TlvNode>& objects, std::size_t depth,
              std::vector<std::string>& lines) {
  for (const TlvNode& node : objects) {
    lines.push_back(NodeLine(tree, node, depth));
    AddLines(tree, node.Children, depth + 1, lines);
  }
}

}  // namespace

std::optional<std::string> PrintableValue(const TlvTree& tree, const TlvNode& node) {
  const std::span<const std::uint8_t> value = tree.ValueOf(node);
  const bool printable =
      std::all_of(value.begin(), value.end(), [](std::uint8_t byte) { return IsPrintableAscii(byte); });
  // An explained value is binary; its bytes only happen to be printable ("41 21").
  if (node.Constructed || value.empty() || !printable || !node.Explanation.empty()) return std::nullopt;
  return std::string(value.begin(), value.end());
}

std::vector<std::string> TlvTreeLines(const TlvTree& tree) {
  std::vector<std::string> lines;
  AddLines(tree, tree.Objects, 0, lines);
  if (tree.Problem) lines.push_back("Problem: " + tree.Problem->Text);
  return lines;
}

}  // namespace tessaly

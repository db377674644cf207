#include "tlv/TlvJson.h"

#include "platform/HexText.h"
#include "platform/JsonText.h"

namespace tessaly {
namespace {

const char* ClassName(TagClass tagClass) {
  switch (tagClass) {
    case TagClass::Universal:
      return "universal";
    case TagClass::Application:
      return "application";
    case TagClass::ContextSpecific:
      return "context-specific";
    case TagClass::Private:
      break;
  }
  return "private";
}

void AppendObjects(const TlvTree& tree, const std::vector<TlvNode>& objects, std::string& json);

void AppendObject(const TlvTree& tree, const TlvNode& node, std::string& json) {
  json += "{\"offset\":" + std::to_string(node.Offset) + ",\"tag\":" + JsonString(TagText(node)) +
          ",\"class\":" + JsonString(ClassName(node.Class)) +
          ",\"constructed\":" + (node.Constructed ? "true" : "false") + ",\"name\":" + JsonString(node.Name) +
          ",\"known\":" + (node.Known ? "true" : "false") + ",\"length\":" + std::to_string(node.Length) +
          ",\"value_offset\":" + std::to_string(node.ValueOffset) +
          ",\"value_size\":" + std::to_string(node.ValueSize);
  if (!node.Constructed) json += ",\"value\":" + JsonString(HexText(tree.ValueOf(node), ""));
  if (const auto text = PrintableValue(tree, node)) json += ",\"text\":" + JsonString(*text);
  if (!node.Explanation.empty()) json += ",\"explanation\":" + JsonString(node.Explanation);
  if (node.Constructed) {
    json += ",\"children\":";
    AppendObjects(tree, node.Children, json);
  }
  json += "}";
}

void AppendObjects(const TlvTree& tree, const std::vector<TlvNode>& objects, std::string& json) {
  json += "[";
  for (const TlvNode& node : objects) {
    if (&node != &objects.front()) json += ",";
    AppendObject(tree, node, json);
  }
  json += "]";
}

}  // namespace

std::string TlvTreeJson(const TlvTree& tree) {
  std::string json =
      std::string("{\"well_formed\":") + (tree.WellFormed() ? "true" : "false") + ",\"objects\":";
  AppendObjects(tree, tree.Objects, json);
  if (tree.Problem) {
    json += ",\"problem\":{\"offset\":" + std::to_string(tree.Problem->Offset) +
            ",\"text\":" + JsonString(tree.Problem->Text) + "}";
  }
  return json + "}";
}

std::string UnreadableInputJson(std::string_view problem) {
  return "{\"well_formed\":false,\"objects\":[],\"problem\":{\"text\":" + JsonString(problem) + "}}";
}

}  // namespace tessaly

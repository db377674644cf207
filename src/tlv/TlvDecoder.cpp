#include <algorithm>
#include <array>

#include "platform/HexText.h"
#include "platform/TextRules.h"
#include "tlv/TagBytes.h"
#include "tlv/TagTable.h"
#include "tlv/TlvTree.h"
#include "tlv/ValueExplanation.h"

namespace tessaly {
namespace {

constexpr std::size_t kMaxLengthBytes = 4;
// Real answers nest a few levels; the bound keeps crafted input from exhausting the stack.
constexpr std::size_t kMaxDepth = 32;

std::string_view UnknownTagName(TagClass tagClass, bool constructed) {
  static constexpr std::array<std::string_view, 8> kNames = {
      "unknown universal primitive tag",        "unknown universal constructed tag",
      "unknown application primitive tag",      "unknown application constructed tag",
      "unknown context-specific primitive tag", "unknown context-specific constructed tag",
      "unknown private primitive tag",          "unknown private constructed tag"};
  return kNames[static_cast<std::size_t>(tagClass) * 2 + (constructed ? 1 : 0)];
}

std::string OffsetText(std::size_t offset) {
  return "at offset " + std::to_string(offset);
}

// The length as hex digits, two for each byte it needs: 0x07, 0x012C.
std::string LengthText(std::size_t length) {
  std::vector<std::uint8_t> bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<std::uint8_t>(length & 0xFF));
    length >>= 8;
  } while (length != 0);
  return "0x" + HexText(bytes, "");
}

// Decodes lists of objects (the whole input, each constructed object's value) into one tree, which keeps
// the first problem only.
class Decoder {
 public:
  explicit Decoder(TlvTree& tree) : tree_(tree), bytes_(tree.Bytes) {}

  // Decodes [begin, end) into objects; false when it stopped at a problem.
  bool DecodeList(std::size_t begin, std::size_t end, const TlvNode* parent, std::vector<TlvNode>& objects,
                  std::size_t depth) {
    for (std::size_t offset = begin; offset < end;) {
      if (bytes_[offset] == 0x00 || bytes_[offset] == 0xFF) {
        ++offset;
        continue;
      }
      TlvNode node;
      if (!DecodeHeader(offset, end, parent, node)) return false;
      DecodeValue(end, parent, node, depth);
      offset = node.ValueOffset + node.ValueSize;
      objects.push_back(std::move(node));
      if (tree_.Problem) return false;
    }
    return true;
  }

 private:
  bool Fail(std::size_t offset, std::string text) {
    if (!tree_.Problem) tree_.Problem = TlvProblem{offset, std::move(text)};
    return false;
  }

  static std::string EndOf(const TlvNode* parent) {
    return parent == nullptr ? "the end" : "the end of tag " + TagText(*parent);
  }

  static std::string TagAt(const TlvNode& node) {
    return "tag " + TagText(node) + " " + OffsetText(node.Offset);
  }

  // The tag and the length; false when they break the rules.
  bool DecodeHeader(std::size_t offset, std::size_t end, const TlvNode* parent, TlvNode& node) {
    const TagReading tag = ReadTag(bytes_.subspan(offset, end - offset));
    if (tag.Result == TagReading::Outcome::CutShort)
      return Fail(offset, "tag " + OffsetText(offset) + " is cut short by " + EndOf(parent));
    if (tag.Result == TagReading::Outcome::TooLong)
      return Fail(offset, "tag " + OffsetText(offset) + " is longer than " + CountOf(kMaxTagSize, "byte"));
    node.Offset = offset;
    node.Tag = tag.Value;
    node.TagSize = tag.Size;
    node.Class = static_cast<TagClass>(bytes_[offset] >> 6);
    node.Constructed = IsConstructedTag(tag.Value, tag.Size);
    return DecodeLength(offset + tag.Size, end, parent, node);
  }

  // The value as far as it is there, its name and, for a constructed object, its children.
  void DecodeValue(std::size_t end, const TlvNode* parent, TlvNode& node, std::size_t depth) {
    const std::size_t available = end - node.ValueOffset;
    node.ValueSize = std::min(node.Length, available);
    Name(node, parent);
    if (node.Length > available) {
      Fail(node.Offset, "length " + LengthText(node.Length) + " of " + TagAt(node) + " runs " +
                            CountOf(node.Length - available, "byte") + " past " + EndOf(parent));
    }
    if (!node.Constructed) return;
    if (depth == kMaxDepth) {
      Fail(node.Offset, TagAt(node) + " nests deeper than " + std::to_string(kMaxDepth) + " levels");
      return;
    }
    DecodeList(node.ValueOffset, node.ValueOffset + node.ValueSize, &node, node.Children, depth + 1);
  }

  bool DecodeLength(std::size_t offset, std::size_t end, const TlvNode* parent, TlvNode& node) {
    if (offset == end) return Fail(node.Offset, TagAt(node) + " has no length before " + EndOf(parent));
    const std::uint8_t first = bytes_[offset];
    if (first < 0x80) {
      node.Length = first;
      node.ValueOffset = offset + 1;
      return true;
    }
    const std::size_t count = first & 0x7F;
    if (count == 0)
      return Fail(node.Offset, "the length of " + TagAt(node) +
                                   " has the indefinite form 80, which ISO/IEC 7816-4 does not allow");
    if (count > kMaxLengthBytes)
      return Fail(node.Offset, "the length of " + TagAt(node) + " has " + std::to_string(count) +
                                   " length bytes, more than " + std::to_string(kMaxLengthBytes));
    if (count >= end - offset)
      return Fail(node.Offset, "the length of " + TagAt(node) + " is cut short by " + EndOf(parent));
    std::uint32_t length = 0;
    for (std::size_t i = 1; i <= count; ++i) length = (length << 8) | bytes_[offset + i];
    node.Length = length;
    node.ValueOffset = offset + 1 + count;
    return true;
  }

  void Name(TlvNode& node, const TlvNode* parent) const {
    const TagEntry* entry =
        TagTable::Shipped().Find(node.Tag, parent ? std::optional(parent->Tag) : std::nullopt);
    node.Known = entry != nullptr;
    node.Name = entry ? std::string_view(entry->Name) : UnknownTagName(node.Class, node.Constructed);
    if (entry && entry->Explained != ValueExplanation::None)
      node.Explanation = ExplainValue(entry->Explained, bytes_.subspan(node.ValueOffset, node.ValueSize));
  }

  TlvTree& tree_;
  std::span<const std::uint8_t> bytes_;
};

}  // namespace

TlvTree DecodeTlv(std::span<const std::uint8_t> bytes) {
  TlvTree tree;
  tree.Bytes.assign(bytes.begin(), bytes.end());
  Decoder decoder(tree);
  if (decoder.DecodeList(0, tree.Bytes.size(), nullptr, tree.Objects, 0) && tree.Objects.empty())
    tree.Problem =
        TlvProblem{0, bytes.empty() ? "there are no bytes" : "there is only padding, no data object"};
  return tree;
}

std::string TagText(const TlvNode& node) {
  std::array<std::uint8_t, kMaxTagSize> bytes{};
  for (std::size_t i = 0; i < node.TagSize; ++i)
    bytes[i] = static_cast<std::uint8_t>(node.Tag >> (8 * (node.TagSize - 1 - i)));
  return HexText(std::span(bytes).first(node.TagSize), "");
}

}  // namespace tessaly

// Randomized input with fixed seeds: arbitrary and damaged bytes never break the decoder (run it under the
// sanitizer build to see that nothing is read out of bounds), and trees built at random by the rules decode
// to the structure they were built from.
#include <gtest/gtest.h>

#include <random>

#include "platform/HexText.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

constexpr int kRounds = 20000;

bool IsPadding(std::uint8_t byte) {
  return byte == 0x00 || byte == 0xFF;
}

std::size_t CountNodes(const std::vector<TlvNode>& objects) {
  std::size_t count = objects.size();
  for (const TlvNode& node : objects) count += CountNodes(node.Children);
  return count;
}

// What every tree keeps, whatever the input: objects in order inside their parent's value, values no
// longer than their length, and in a well-formed tree nothing but padding between the objects.
void ExpectConsistent(const TlvTree& tree, const std::vector<TlvNode>& objects, std::size_t begin,
                      std::size_t end) {
  std::size_t next = begin;
  for (const TlvNode& node : objects) {
    ASSERT_GE(node.Offset, next);
    for (std::size_t gap = next; tree.WellFormed() && gap < node.Offset; ++gap)
      ASSERT_TRUE(IsPadding(tree.Bytes[gap]));
    ASSERT_LT(node.Offset + node.TagSize, node.ValueOffset);
    ASSERT_LE(node.ValueOffset + node.ValueSize, end);
    ASSERT_TRUE(node.ValueSize == node.Length || (!tree.WellFormed() && node.ValueSize < node.Length));
    ASSERT_FALSE(node.Name.empty());
    ASSERT_TRUE(node.Constructed || node.Children.empty());
    if (node.Constructed) {
      ASSERT_NO_FATAL_FAILURE(
          ExpectConsistent(tree, node.Children, node.ValueOffset, node.ValueOffset + node.ValueSize));
    }
    next = node.ValueOffset + node.ValueSize;
  }
  for (std::size_t gap = next; tree.WellFormed() && gap < end; ++gap) ASSERT_TRUE(IsPadding(tree.Bytes[gap]));
}

void ExpectConsistent(const TlvTree& tree) {
  ASSERT_NO_FATAL_FAILURE(ExpectConsistent(tree, tree.Objects, 0, tree.Bytes.size()));
  ASSERT_TRUE(tree.WellFormed() || tree.Problem->Offset < std::max<std::size_t>(tree.Bytes.size(), 1));
  ASSERT_EQ(TlvTreeLines(tree).size(), CountNodes(tree.Objects) + (tree.WellFormed() ? 0 : 1));
}

// A data object built by the rules, and its encoding.
struct BuiltObject {
  std::uint32_t Tag = 0;
  std::size_t TagSize = 1;
  bool Constructed = false;
  std::vector<std::uint8_t> Value;  // of a primitive object
  std::vector<BuiltObject> Children;
};

class TreeBuilder {
 public:
  explicit TreeBuilder(std::uint32_t seed) : random_(seed) {}

  std::vector<BuiltObject> BuildList(int depth) {
    std::vector<BuiltObject> objects(depth == 0 ? 1 + Below(4) : Below(4));
    for (BuiltObject& object : objects) object = BuildObject(depth);
    return objects;
  }

  void EncodeList(const std::vector<BuiltObject>& objects, std::vector<std::uint8_t>& out) {
    for (const BuiltObject& object : objects) {
      AddPadding(out);
      for (std::size_t i = object.TagSize; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(object.Tag >> (8 * i)));
      std::vector<std::uint8_t> value = object.Value;
      if (object.Constructed) {
        EncodeList(object.Children, value);
        AddPadding(value);
      }
      EncodeLength(value.size(), out);
      out.insert(out.end(), value.begin(), value.end());
    }
    AddPadding(out);
  }

 private:
  std::size_t Below(std::size_t bound) { return random_() % bound; }

  BuiltObject BuildObject(int depth) {
    BuiltObject object;
    object.Constructed = depth < 4 && Below(3) == 0;
    const auto classBits = static_cast<std::uint8_t>(Below(4) << 6);
    const auto first = static_cast<std::uint8_t>(classBits | (object.Constructed ? 0x20 : 0));
    object.TagSize = 1 + Below(3);
    // A first byte of 00 or FF would be padding.
    if (first == 0xE0) object.TagSize = 1;
    if (object.TagSize == 1) {
      object.Tag = first | static_cast<std::uint8_t>(1 + Below(30));
    } else if (object.TagSize == 2) {
      object.Tag = (std::uint32_t{first | 0x1Fu} << 8) | static_cast<std::uint32_t>(Below(0x80));
    } else {
      object.Tag = (std::uint32_t{first | 0x1Fu} << 16) |
                   static_cast<std::uint32_t>(0x80 + Below(0x80)) << 8 |
                   static_cast<std::uint32_t>(Below(0x80));
    }
    if (object.Constructed) {
      object.Children = BuildList(depth + 1);
    } else {
      object.Value.resize(Below(8) == 0 ? 128 + Below(200) : Below(6));
      for (std::uint8_t& byte : object.Value) byte = static_cast<std::uint8_t>(random_());
    }
    return object;
  }

  // Short form when it fits; otherwise, or now and then anyway, long form with one to four length bytes.
  void EncodeLength(std::size_t length, std::vector<std::uint8_t>& out) {
    if (length < 0x80 && Below(4) != 0) {
      out.push_back(static_cast<std::uint8_t>(length));
      return;
    }
    std::size_t needed = 1;
    while (needed < 4 && (length >> (8 * needed)) != 0) ++needed;
    const std::size_t count = needed + Below(5 - needed);
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    for (std::size_t i = count; i-- > 0;) out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
  }

  void AddPadding(std::vector<std::uint8_t>& out) {
    for (std::size_t count = Below(6) == 0 ? 1 + Below(2) : 0; count > 0; --count)
      out.push_back(Below(2) == 0 ? 0x00 : 0xFF);
  }

  std::mt19937 random_;
};

void ExpectBuiltAs(const TlvTree& tree, const std::vector<TlvNode>& decoded,
                   const std::vector<BuiltObject>& built) {
  ASSERT_EQ(decoded.size(), built.size());
  for (std::size_t i = 0; i < built.size(); ++i) {
    ASSERT_EQ(decoded[i].Tag, built[i].Tag);
    ASSERT_EQ(decoded[i].TagSize, built[i].TagSize);
    ASSERT_EQ(decoded[i].Constructed, built[i].Constructed);
    if (!built[i].Constructed) {
      const std::span<const std::uint8_t> value = tree.ValueOf(decoded[i]);
      ASSERT_EQ(std::vector<std::uint8_t>(value.begin(), value.end()), built[i].Value);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectBuiltAs(tree, decoded[i].Children, built[i].Children));
  }
}

TEST(TlvFuzz, ArbitraryBytesDecodeWithoutFault) {
  static constexpr std::uint8_t kLikely[] = {0x00, 0xFF, 0x1F, 0x80, 0x81, 0x82, 0x84,
                                             0x85, 0x9F, 0xDF, 0x6F, 0x62, 0xA5, 0x7F};
  std::mt19937 random(20260729);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::uint8_t> bytes(random() % 64);
    for (std::uint8_t& byte : bytes)
      byte = random() % 2 == 0 ? static_cast<std::uint8_t>(random() % 8) : kLikely[random() % sizeof kLikely];
    if (round % 2 == 0)
      for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(DecodeTlv(bytes))) << HexText(bytes);
  }
}

TEST(TlvFuzz, TreesBuiltByTheRulesDecodeToTheirStructure) {
  TreeBuilder builder(7816);
  for (int round = 0; round < kRounds; ++round) {
    const std::vector<BuiltObject> built = builder.BuildList(0);
    std::vector<std::uint8_t> bytes;
    builder.EncodeList(built, bytes);
    const TlvTree tree = DecodeTlv(bytes);
    ASSERT_TRUE(tree.WellFormed()) << HexText(bytes) << ": " << tree.Problem->Text;
    ASSERT_NO_FATAL_FAILURE(ExpectBuiltAs(tree, tree.Objects, built)) << HexText(bytes);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(tree));
  }
}

TEST(TlvFuzz, DamagedTreesDecodeWithoutFault) {
  TreeBuilder builder(88251);
  std::mt19937 random(4);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::uint8_t> bytes;
    builder.EncodeList(builder.BuildList(0), bytes);
    bytes.resize(random() % (bytes.size() + 1));
    if (!bytes.empty()) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(DecodeTlv(bytes))) << HexText(bytes);
  }
}

}  // namespace
}  // namespace tessaly

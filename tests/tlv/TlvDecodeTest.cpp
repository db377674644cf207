// Hand-worked answers decoded through the public interface: structure, offsets, names by context, padding,
// and the indented text the tool and transcripts show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/HexText.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

using ::testing::ElementsAre;

TlvTree Decode(std::string_view hex) {
  const HexReading reading = ReadHexBytes(hex);
  EXPECT_TRUE(reading.Complete()) << reading.Problem;
  return DecodeTlv(reading.Bytes);
}

// One node in a line: tag, offset, length, value offset, child count and name.
std::string Outline(const TlvNode& node) {
  return TagText(node) + "@" + std::to_string(node.Offset) + " L" + std::to_string(node.Length) + " V" +
         std::to_string(node.ValueOffset) + " C" + std::to_string(node.Children.size()) + " " +
         std::string(node.Name);
}

TEST(TlvDecode, FciAfterSelectByNameNamesEachTagByItsTemplate) {
  const TlvTree tree = Decode(
      "6F 21 84 07 A0 00 00 00 03 10 10 A5 16 50 0B 56 49 53 41 20 43 52 45 44 49 54 87 01 01 9F 38 03 9F 1A "
      "02");
  ASSERT_TRUE(tree.WellFormed()) << tree.Problem->Text;
  ASSERT_EQ(tree.Objects.size(), 1u);
  const TlvNode& fci = tree.Objects[0];
  EXPECT_EQ(fci.Class, TagClass::Application);
  EXPECT_TRUE(fci.Constructed);
  EXPECT_EQ(Outline(fci), "6F@0 L33 V2 C2 File control information (FCI) template");
  EXPECT_EQ(Outline(fci.Children[0]), "84@2 L7 V4 C0 DF name");
  EXPECT_EQ(fci.Children[0].Class, TagClass::ContextSpecific);
  const TlvNode& proprietary = fci.Children[1];
  EXPECT_EQ(Outline(proprietary), "A5@11 L22 V13 C3 FCI proprietary template");
  EXPECT_EQ(Outline(proprietary.Children[2]), "9F38@29 L3 V32 C0 Processing options data object list (PDOL)");
  EXPECT_EQ(HexText(tree.ValueOf(proprietary.Children[0])), "56 49 53 41 20 43 52 45 44 49 54");
  EXPECT_EQ(PrintableValue(tree, proprietary.Children[0]), "VISA CREDIT");
  EXPECT_EQ(PrintableValue(tree, proprietary.Children[1]), std::nullopt);
}

TEST(TlvDecode, FcpExplainsFileDescriptorAndLifeCycleStatus) {
  const TlvTree tree =
      Decode("62 19 82 05 42 21 00 1C 0A 83 02 6F 3A 8A 01 05 8C 03 03 FF 00 AB 00 80 02 01 18");
  ASSERT_TRUE(tree.WellFormed()) << tree.Problem->Text;
  const std::vector<TlvNode>& fcp = tree.Objects.at(0).Children;
  ASSERT_EQ(fcp.size(), 6u);
  EXPECT_EQ(
      fcp[0].Explanation,
      "working EF, shareable, linear fixed; data coding: proprietary write, 1-byte data units; records of up "
      "to 28 bytes, 10 records");
  EXPECT_EQ(fcp[2].Explanation, "operational state, activated");
  EXPECT_EQ(fcp[3].Name, "Security attribute in compact format");
  EXPECT_EQ(Outline(fcp[4]), "AB@21 L0 V23 C0 Security attribute template in expanded format");
  EXPECT_EQ(fcp[5].Name, "Number of data bytes in the file, without structural information");
  EXPECT_TRUE(fcp[1].Explanation.empty());
}

TEST(TlvDecode, EmvRecordWithLongFormLengthAndTheSameTagsOutsideTheirTemplates) {
  std::string record = "70 81 89 5A 08 47 61 73 90 01 01 00 10 5F 24 03 29 12 31 8C 03 9F 02 06 5F 20 71";
  for (int i = 0; i < 0x71; ++i) record += " 41";
  const TlvTree tree = Decode(record + " 8A 02 30 30 80 02 1C 00");
  ASSERT_TRUE(tree.WellFormed()) << tree.Problem->Text;
  ASSERT_EQ(tree.Objects.size(), 3u);
  EXPECT_EQ(Outline(tree.Objects[0]), "70@0 L137 V3 C4 Record template (READ RECORD response)");
  EXPECT_EQ(Outline(tree.Objects[0].Children[2]),
            "8C@19 L3 V21 C0 Card risk management data object list 1 (CDOL1)");
  EXPECT_EQ(Outline(tree.Objects[0].Children[3]), "5F20@24 L113 V27 C0 Cardholder name");
  EXPECT_EQ(tree.Objects[1].Name, "Authorisation response code");
  EXPECT_EQ(tree.Objects[1].Explanation, "");
  EXPECT_EQ(tree.Objects[2].Name, "Response message template format 1");
}

TEST(TlvDecode, ThreeByteTagsAndLongLengthsUpToFourBytes) {
  const TlvTree tree = Decode("DF 81 01 02 01 02 7F 4E 84 00 00 00 04 5F 20 01 41 9F 26 82 00 01 77");
  ASSERT_TRUE(tree.WellFormed()) << tree.Problem->Text;
  ASSERT_EQ(tree.Objects.size(), 3u);
  EXPECT_EQ(tree.Objects[0].Tag, 0xDF8101u);
  EXPECT_EQ(Outline(tree.Objects[0]), "DF8101@0 L2 V4 C0 unknown private primitive tag");
  EXPECT_FALSE(tree.Objects[0].Known);
  EXPECT_EQ(Outline(tree.Objects[1]), "7F4E@6 L4 V13 C1 Certificate body");
  EXPECT_EQ(tree.Objects[1].Children[0].Name, "Certificate holder reference");
  EXPECT_EQ(Outline(tree.Objects[2]), "9F26@17 L1 V22 C0 Application cryptogram");
}

TEST(TlvDecode, PaddingBeforeBetweenAndAfterObjectsAtEveryLevelIsSkipped) {
  const TlvTree tree = Decode("00 FF 6F 08 00 84 01 AA FF 87 01 01 00 00 5F 2D 02 65 6E FF");
  ASSERT_TRUE(tree.WellFormed()) << tree.Problem->Text;
  ASSERT_EQ(tree.Objects.size(), 2u);
  EXPECT_EQ(Outline(tree.Objects[0]), "6F@2 L8 V4 C2 File control information (FCI) template");
  EXPECT_EQ(tree.Objects[0].Children[1].Offset, 9u);
  EXPECT_EQ(Outline(tree.Objects[1]), "5F2D@14 L2 V17 C0 Language preference");
}

TEST(TlvDecode, LinesIndentChildrenAndEndWithTheProblem) {
  const TlvTree tree = Decode("62 0B 82 01 38 8A 01 07 A5 03 C0 01 00 84 07 A0 00 00 00");
  EXPECT_THAT(TlvTreeLines(tree),
              ElementsAre("62 File control parameters (FCP) template, 11 bytes",
                          "  82 File descriptor, 1 byte: 38 (DF, not shareable)",
                          "  8A Life cycle status, 1 byte: 07 (operational state, activated)",
                          "  A5 Proprietary information, BER-TLV, 3 bytes",
                          "    C0 unknown private primitive tag, 1 byte: 00",
                          "84 Dedicated file (DF) name, 7 bytes (4 present): A0 00 00 00",
                          "Problem: length 0x07 of tag 84 at offset 13 runs 3 bytes past the end"));
}

}  // namespace
}  // namespace tessaly

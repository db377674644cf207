// The tag table: the shipped file reads without a problem and names what people meet; lines that break the
// format are reported; a line for a parent or the top level wins over the tag's plain line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tlv/TagTable.h"

namespace tessaly {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string NameOf(const TagTable& table, std::uint32_t tag, std::optional<std::uint32_t> parent) {
  const TagEntry* entry = table.Find(tag, parent);
  return entry != nullptr ? entry->Name : "(none)";
}

TEST(TagTable, ShippedTableReadsCleanlyAndNamesTheTagsOfFcpFciAndEmv) {
  const TagTable& table = TagTable::Shipped();
  EXPECT_THAT(table.Problems(), IsEmpty());
  for (const std::uint32_t tag :
       {0x4Fu,   0x50u,   0x57u,   0x5Au,   0x5F20u, 0x5F24u, 0x5F25u, 0x5F28u, 0x5F2Au, 0x5F2Du,
        0x5F30u, 0x5F34u, 0x5F50u, 0x61u,   0x62u,   0x64u,   0x6Fu,   0x70u,   0x73u,   0x77u,
        0x7F66u, 0x82u,   0x84u,   0x87u,   0x88u,   0x8Cu,   0x8Du,   0x8Eu,   0x8Fu,   0x90u,
        0x92u,   0x94u,   0x9F02u, 0x9F03u, 0x9F07u, 0x9F08u, 0x9F0Du, 0x9F0Eu, 0x9F0Fu, 0x9F10u,
        0x9F12u, 0x9F1Au, 0x9F26u, 0x9F27u, 0x9F32u, 0x9F36u, 0x9F38u, 0x9F42u, 0x9F44u, 0x9F46u,
        0x9F47u, 0x9F48u, 0x9F4Au, 0x9F4Bu, 0x9F4Cu, 0x9F4Du, 0x9F6Eu, 0xBF0Cu})
    EXPECT_NE(table.Find(tag, 0x70), nullptr) << std::hex << tag;
  for (const std::uint32_t tag : {0x80u, 0x81u, 0x82u, 0x83u, 0x84u, 0x85u, 0x86u, 0x87u, 0x88u, 0x8Au,
                                  0x8Bu, 0x8Cu, 0x8Du, 0x8Eu, 0xA0u, 0xA1u, 0xA2u, 0xA5u, 0xABu, 0xACu})
    EXPECT_NE(table.Find(tag, 0x62), table.Find(tag, 0x70)) << std::hex << tag;
  EXPECT_EQ(table.Find(0x8A, 0x62)->Explained, ValueExplanation::LifeCycleStatus);
  EXPECT_EQ(table.Find(0x82, 0x6F)->Explained, ValueExplanation::FileDescriptor);
}

TEST(TagTable, LineForTheParentOrTheTopLevelWinsOverThePlainLine) {
  const TagTable table = TagTable::Parse(
      "# comment\n\n84 | Plain\n62,6F/84 | In a file template | file-descriptor\n/84 | Top level\n9F38 | Two "
      "bytes\n"
      "DF8101 | Three bytes\n");
  EXPECT_THAT(table.Problems(), IsEmpty());
  EXPECT_EQ(NameOf(table, 0x84, 0x6F), "In a file template");
  EXPECT_EQ(NameOf(table, 0x84, 0x62), "In a file template");
  EXPECT_EQ(NameOf(table, 0x84, 0xA5), "Plain");
  EXPECT_EQ(NameOf(table, 0x84, std::nullopt), "Top level");
  EXPECT_EQ(NameOf(table, 0x9F38, 0x62), "Two bytes");
  EXPECT_EQ(NameOf(table, 0xDF8101, std::nullopt), "Three bytes");
  EXPECT_EQ(NameOf(table, 0x85, 0x62), "(none)");
  EXPECT_EQ(table.Find(0x84, 0x62)->Explained, ValueExplanation::FileDescriptor);
}

TEST(TagTable, LinesThatBreakTheFormatAreReportedAndSkipped) {
  const TagTable table = TagTable::Parse(
      "9F | Cut short\n9F8181 | Three bytes but one more expected\n84 85 | Two tags\n8G | Not hex\n"
      "84/50 | Primitive parent\n50\n50 |\n50 | Label | colour\n50 | Label | a | b\n4F | AID\n4F | AID "
      "again\n");
  EXPECT_EQ(table.Size(), 2u);
  ASSERT_EQ(table.Problems().size(), 10u);
  EXPECT_THAT(table.Problems()[0], HasSubstr("line 1: \"9F\" is not a tag"));
  EXPECT_THAT(table.Problems()[4], HasSubstr("line 5: \"84/50\""));
  EXPECT_THAT(table.Problems()[7], HasSubstr("line 8: \"colour\" is no explanation"));
  EXPECT_THAT(table.Problems()[9], HasSubstr("\"AID again\" is named twice"));
}

}  // namespace
}  // namespace tessaly

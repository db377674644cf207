#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/ApduFields.h"
#include "device/ApduScript.h"
#include "device/ApduText.h"

namespace tessaly::test {
namespace {

std::string Built(const ApduFieldTexts& fields, bool extendedLength = false) {
  return HexBytes(BuildCommand(fields, extendedLength), true);
}

TEST(ApduFields, EncodeTheFourCommandCasesInShortAndExtendedLength) {
  EXPECT_EQ(Built({"00", "a4", "0", "00", "", ""}), "00 A4 00 00");
  EXPECT_EQ(Built({"00", "B0", "00", "00", "", "0A"}), "00 B0 00 00 0A");
  EXPECT_EQ(Built({"00", "A4", "00", "00", "3F 00", ""}), "00 A4 00 00 02 3F 00");
  EXPECT_EQ(Built({" 00 ", "A4", "04", "00", "F0 54 45", "00"}), "00 A4 04 00 03 F0 54 45 00");
  EXPECT_EQ(Built({"00", "B0", "00", "00", "", "100"}, true), "00 B0 00 00 00 01 00");
  EXPECT_EQ(Built({"00", "D6", "00", "00", "01 02", "0000"}, true), "00 D6 00 00 00 00 02 01 02 00 00");
  EXPECT_EQ(Built({"00", "D6", "00", "00", std::string(600, 'A'), ""}, true).size(), (4 + 3 + 300) * 3 - 1);
}

TEST(ApduFields, TakeTheLongestDataOfEachLengthAndNoMore) {
  const std::vector<std::uint8_t> shortest =
      BuildCommand({"00", "D6", "00", "00", std::string(2 * 255, '0'), ""}, false);
  ASSERT_EQ(shortest.size(), 4u + 1 + 255);
  EXPECT_EQ(shortest[4], 0xFF);
  const std::vector<std::uint8_t> longest =
      BuildCommand({"00", "D6", "00", "00", std::string(2 * 65535, '0'), ""}, true);
  ASSERT_EQ(longest.size(), 4u + 3 + 65535);
  EXPECT_EQ(HexBytes(std::span(longest).subspan(4, 3), true), "00 FF FF");
}

TEST(ApduFields, RefuseBadInputNamingTheField) {
  struct Case {
    ApduFieldTexts Fields;
    ApduField Field;
    const char* Message;
  };
  const Case cases[] = {
      {{"G0", "A4", "00", "00", "", ""}, ApduField::Cla, "CLA: \"G0\" is not hexadecimal"},
      {{"00", "", "00", "00", "", ""}, ApduField::Ins, "INS: a value is needed (one byte, 00 to FF)"},
      {{"00", "A4", "100", "00", "", ""}, ApduField::P1, "P1: 100 is out of range (one byte, 00 to FF)"},
      {{"00", "A4", "00", "0x1", "", ""}, ApduField::P2, "P2: \"0x1\" is not hexadecimal"},
      {{"00", "A4", "00", "00", "3F 0", ""},
       ApduField::Data,
       "Data: an odd number of digits; every byte takes two"},
      {{"00", "A4", "00", "00", "3F-00", ""}, ApduField::Data, "Data: '-' is not a hexadecimal digit"},
      {{"00", "D6", "00", "00", std::string(512, '0'), ""},
       ApduField::Data,
       "Data: 256 bytes are too many (more than 255 need extended length)"},
      {{"00", "B0", "00", "00", "", "1FF"},
       ApduField::Le,
       "Le: 1FF is out of range (00 to FF; 00 asks for 256 bytes)"},
  };
  for (const Case& c : cases) {
    try {
      BuildCommand(c.Fields, false);
      ADD_FAILURE() << "accepted: " << c.Message;
    } catch (const EApduInputError& failure) {
      EXPECT_EQ(failure.Field(), c.Field) << c.Message;
      EXPECT_STREQ(failure.what(), c.Message);
    }
  }
  EXPECT_THROW(BuildCommand({"00", "D6", "00", "00", std::string(2 * 65536, '0'), ""}, true),
               EApduInputError);
}

TEST(ApduFields, TheDefaultApduTakesP3AsLeOnlyWithoutDataAndLe) {
  const ApduFieldTexts select = FieldsOf({"00", "A4", "00", "00", "02", "", "3F 00"});
  EXPECT_EQ(Built(select), "00 A4 00 00 02 3F 00");
  const ApduFieldTexts read = FieldsOf({"00", "B0", "00", "00", "10", "", ""});
  EXPECT_EQ(read.Le, "10");
  EXPECT_EQ(FieldsOf({"00", "B0", "00", "00", "10", "20", ""}).Le, "20");
}

TEST(ApduScript, ReadsCommandsSkippingNotesAndBlankLines) {
  const std::vector<ApduScriptLine> script =
      ParseApduScript({"; heading", "", "00 A4 00 00 02 3F 00  ; 90 00 Done", "  00b0000005"});
  ASSERT_EQ(script.size(), 2u);
  EXPECT_EQ(script[0].LineNumber, 3);
  EXPECT_EQ(HexBytes(script[0].Command, true), "00 A4 00 00 02 3F 00");
  EXPECT_EQ(script[1].LineNumber, 4);
  EXPECT_EQ(HexBytes(script[1].Command, true), "00 B0 00 00 05");
}

TEST(ApduScript, RefusesTheWholeScriptNamingTheFirstBadLine) {
  EXPECT_THROW(
      {
        try {
          ParseApduScript({"00 A4 00 00", "00 B0 00 0", "zz"});
        } catch (const EApduScriptError& failure) {
          EXPECT_STREQ(failure.what(), "Line 2: The command has an odd number of hexadecimal digits");
          throw;
        }
      },
      EApduScriptError);
  EXPECT_THROW(ParseApduScript({"00 A4"}), EApduScriptError);
}

TEST(ApduScript, GoesOnAfter9000And61xxOnly) {
  EXPECT_TRUE(AnswerLetsScriptGoOn(std::vector<std::uint8_t>{0x01, 0x90, 0x00}));
  EXPECT_TRUE(AnswerLetsScriptGoOn(std::vector<std::uint8_t>{0x61, 0x10}));
  EXPECT_FALSE(AnswerLetsScriptGoOn(std::vector<std::uint8_t>{0x90, 0x01}));
  EXPECT_FALSE(AnswerLetsScriptGoOn(std::vector<std::uint8_t>{0x6A, 0x82}));
  EXPECT_FALSE(AnswerLetsScriptGoOn(std::vector<std::uint8_t>{0x90}));
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/ApduFields.h"
#include "device/ApduScript.h"
#include "device/ApduText.h"
#include "platform/TextRules.h"

namespace tessaly::test {
namespace {

std::string Built(const ApduFieldTexts& fields, bool extendedLength = false) {
  return HexText(BuildCommand(fields, extendedLength));
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
  EXPECT_EQ(HexText(std::span(longest).subspan(4, 3)), "00 FF FF");
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
  EXPECT_EQ(HexText(script[0].Command), "00 A4 00 00 02 3F 00");
  EXPECT_EQ(script[1].LineNumber, 4);
  EXPECT_EQ(HexText(script[1].Command), "00 B0 00 00 05");
}

// Each step as its script line, with the line it came from: "3: 00 A4 00 00", "5: reset".
std::vector<std::string> Steps(const std::vector<ApduScriptLine>& script) {
  std::vector<std::string> steps;
  for (const ApduScriptLine& line : script)
    steps.push_back(std::to_string(line.LineNumber) + ": " + ApduScriptLineText(line));
  return steps;
}

TEST(ApduScript, ReadsScriptorsCommentsResetsContinuedLinesAndExit) {
  const std::vector<ApduScriptLine> script = ParseApduScript({
      "# reset the card",
      "Reset",
      "  # Select MF 3F00",
      "A0A40000023F00",
      "00 A4 04 00 08 \\",
      "",
      "F0 54 45 53 \\",
      "53 41 4C 59",
      "reset",
      "exit",
      "00 B0 00 00 00",
  });
  EXPECT_EQ(Steps(script),
            (std::vector<std::string>{"2: reset", "4: A0 A4 00 00 02 3F 00",
                                      "5: 00 A4 04 00 08 F0 54 45 53 53 41 4C 59", "9: reset"}));
  // What is written reads back step for step.
  const std::string text = ApduScriptText(script);
  EXPECT_EQ(text, "reset\nA0 A4 00 00 02 3F 00\n00 A4 04 00 08 F0 54 45 53 53 41 4C 59\nreset\n");
  const std::vector<ApduScriptLine> again = ParseApduScript(SplitLines(text));
  ASSERT_EQ(again.size(), script.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].Step, script[i].Step);
    EXPECT_EQ(again[i].Command, script[i].Command);
  }
}

TEST(ApduScript, ATranscriptReadsAsTheScriptOfItsCommandsAndNothingOfItsAnswers) {
  // scriptor breaks a long answer after 16 bytes; the bytes after the break are no command.
  const std::vector<ApduScriptLine> script = ParseApduScript({
      "> RESET",
      "< OK: 3B 02 14 50",
      "> 00 B0 00 00 12",
      "< 54 65 73 73 61 6C 79 20 56 69 72 74 75 61 6C 20 ",
      "43 61 90 00 : Normal processing.",
      "# step 1: 00 B0 00 00 12 -> 6C 12",
      "> 00 A4 00 0C 02 3F 00",
      "# no answer: The card did not answer within 30 s",
  });
  EXPECT_EQ(Steps(script),
            (std::vector<std::string>{"1: reset", "3: 00 B0 00 00 12", "7: 00 A4 00 0C 02 3F 00"}));

  try {
    ParseApduScript({"> 00 A4 00 0C 02 3F 00", "00 B0 00 00 00", "< 90 00 : Normal processing"});
    ADD_FAILURE() << "a command outside the \"> \" lines of a transcript is refused";
  } catch (const EApduScriptError& failure) {
    EXPECT_STREQ(failure.what(),
                 "Line 2: in a transcript, commands stand only in the lines that begin with \">\"");
  }
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

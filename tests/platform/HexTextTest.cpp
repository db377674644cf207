// Hexadecimal text read into bytes and written back, JSON strings, and trimming; one row per rule.
#include <gtest/gtest.h>

#include <ostream>

#include "platform/HexText.h"
#include "platform/JsonText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

struct HexCase {
  const char* Text;
  const char* Bytes;    // as HexText writes them
  const char* Problem;  // empty when the text reads whole
};

// Control characters by their code, so that the test's name stays on one line.
void PrintTo(const HexCase& row, std::ostream* out) {
  *out << '"';
  for (const char c : std::string_view(row.Text)) {
    if (static_cast<unsigned char>(c) < 0x20)
      *out << "\\x" << HexText(std::vector<std::uint8_t>{static_cast<std::uint8_t>(c)});
    else
      *out << c;
  }
  *out << '"';
}

class ReadHex : public ::testing::TestWithParam<HexCase> {};

TEST_P(ReadHex, ReadsPairsWithSeparatorsBetweenThemOnly) {
  const HexReading reading = ReadHexBytes(GetParam().Text, " \t:");
  EXPECT_EQ(HexText(reading.Bytes), GetParam().Bytes);
  EXPECT_EQ(reading.Problem, GetParam().Problem);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadHex,
    ::testing::Values(
        HexCase{"6f07a0", "6F 07 A0", ""}, HexCase{" 6F:07\t a0 ", "6F 07 A0", ""}, HexCase{"", "", ""},
        HexCase{"6F 0 7", "6F", "the hexadecimal digit at column 4 is half a byte"},
        HexCase{"6F07A", "6F 07", "the hexadecimal digit at column 5 is half a byte"},
        HexCase{"6F x7", "6F", "'x' at column 4 is neither a hexadecimal digit nor a separator"},
        HexCase{"6F\x01", "6F",
                "the character 0x01 at column 3 is neither a hexadecimal digit nor a separator"}));

TEST(HexText, WritesUpperCaseDigitsWithTheSeparatorBetweenBytes) {
  const std::vector<std::uint8_t> bytes = {0x00, 0xAB, 0x7F};
  EXPECT_EQ(HexText(bytes), "00 AB 7F");
  EXPECT_EQ(HexText(bytes, ""), "00AB7F");
  EXPECT_EQ(HexText({}, ":"), "");
  EXPECT_TRUE(ReadHexBytes("a b", "").Problem.starts_with("' ' at column 2"));
}

// The syntax's options, and where the scan stopped, which every reader words in its own way.
TEST(HexText, TheScanFollowsTheSyntaxAndSaysWhereItStopped) {
  const HexSyntax typed{.Separators = " \t", .SeparatorsInsideBytes = true};
  const HexSyntax copied{.Separators = ":", .SeparatorsInsideBytes = true, .CPrefixes = true};
  const auto scan = [](std::string_view text, const HexSyntax& syntax) {
    const HexScan result = ScanHexBytes(text, syntax);
    return HexText(result.Bytes) + "|" + (result.Stray ? std::to_string(*result.Stray) : "-") + "|" +
           (result.HalfByte ? std::to_string(*result.HalfByte) : "-");
  };
  EXPECT_EQ(scan("0 0A\t4", typed), "00 A4|-|-");
  EXPECT_EQ(scan("0 0A\t4", {}), "|-|0") << "a blank inside a byte ends the reading";
  EXPECT_EQ(scan("00A", typed), "00|-|2");
  EXPECT_EQ(scan("00 A:4", typed), "00|4|3") << "the digit before a stray character is half a byte";
  EXPECT_EQ(scan("0x3B:0X8f:80", copied), "3B 8F 80|-|-");
  EXPECT_EQ(scan("0x3B0x8F", copied), "3B 8F|-|-");
  EXPECT_EQ(scan("30x8F", copied), "30|2|-") << "a prefix only before a byte";
  EXPECT_EQ(scan("0x3B", typed), "|1|0");
}

TEST(HexText, OneByteAndPrintableAscii) {
  EXPECT_EQ(HexText(std::uint8_t{0x0F}), "0F");
  EXPECT_EQ(PrintableAscii(std::vector<std::uint8_t>{0x1F, 0x20, 0x41, 0x7E, 0x7F, 0xC4}), ". A~..");
}

TEST(JsonText, QuotesBackslashesAndControlCharactersAreEscapedAndUtf8StaysAsItIs) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString(std::string("\x01\t\n\x1F ", 5)), "\"\\u0001\\u0009\\u000a\\u001f \"");
  EXPECT_EQ(JsonString("caf\xC3\xA9/\x7F"), "\"caf\xC3\xA9/\x7F\"");
  EXPECT_EQ(JsonString(""), "\"\"");
}

TEST(TextRules, TrimControlsDropsControlsAndBlanksAtBothEndsOnly) {
  EXPECT_EQ(TrimControls(" \t\r a b\x01\n"), "a b");
  EXPECT_EQ(TrimControls(" \r\n"), "");
  EXPECT_EQ(TrimControls("x"), "x");
}

TEST(TextRules, TrimDropsOnlyTheCharactersItIsGivenAndOnlyAtTheEnds) {
  EXPECT_EQ(Trim(" \t a \t b\t "), "a \t b");
  EXPECT_EQ(Trim("\r a\n"), "\r a\n") << "blanks and tabs only, unless told otherwise";
  EXPECT_EQ(Trim(" \r3B 02\r\t", " \t\r"), "3B 02");
  EXPECT_EQ(Trim(" \t \t"), "");
  EXPECT_EQ(TrimLeading("\t\t x\t", "\t"), " x\t");
  EXPECT_EQ(TrimTrailing("\t x \t"), "\t x");
}

}  // namespace
}  // namespace tessaly

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TemplateFiles.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

using Table = std::vector<std::vector<std::string>>;

Table LoadCommands(const std::string& text) {
  TempDir folder;
  TTemplatesObject templates;
  templates.LoadCommandTemplate(WriteFile(folder, "card.cct", text));
  return Rows(templates.Commands, {"Name", "Cla", "Ins"});
}

struct CommandLineCase {
  const char* line;
  Table expected;  // the entries after an anchor entry "~" that keeps the table non-empty
};

void PrintTo(const CommandLineCase& row, std::ostream* out) {
  *out << '"' << Escaped(row.line) << '"';
}

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, ReadsAsTheFormatSays) {
  Table expected = GetParam().expected;
  expected.push_back({"~", "00", "00"});  // "~" sorts after letters and digits
  EXPECT_EQ(LoadCommands(std::string("+\t00\t00\t~\n") + GetParam().line + "\n"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Format, CommandLine,
    testing::Values(
        CommandLineCase{"+\ta0\ta4\tSELECT FILE", {{"SELECT FILE", "A0", "A4"}}},
        CommandLineCase{"-\ta0\ta4\tSELECT FILE", {}}, CommandLineCase{"+ \ta0\ta4\tSELECT FILE", {}},
        CommandLineCase{"+A0\tA4\tSELECT FILE", {}},
        CommandLineCase{" \t \x01+\ta0\ta4\tSELECT FILE", {{"SELECT FILE", "A0", "A4"}}},
        CommandLineCase{"; +\ta0\ta4\tcomment", {}}, CommandLineCase{"\x80+\ta0\ta4\tnot blank", {}},
        CommandLineCase{"+\tA0\t", {{"", "A0", ""}}}, CommandLineCase{"+\tA0\t\t", {{"", "A0", "00"}}},
        CommandLineCase{"+", {{"", "", ""}}}, CommandLineCase{"+\t\tB0\tREAD", {{"READ", "00", "B0"}}},
        CommandLineCase{"+\t80\tCA\tGET DATA\tignored\tfields", {{"GET DATA", "80", "CA"}}},
        CommandLineCase{"+\t80\tCA\t  two  blanks  ", {{"  two  blanks  ", "80", "CA"}}}));

struct HexCase {
  const char* field;
  const char* stored;
};

void PrintTo(const HexCase& row, std::ostream* out) {
  *out << '"' << Escaped(row.field) << '"';
}

class HexField : public testing::TestWithParam<HexCase> {};

TEST_P(HexField, StoresUpperCaseHexWithAtLeastTwoDigits) {
  const std::string field = GetParam().field;
  EXPECT_EQ(LoadCommands("+\t" + field + "\t" + field + "\tCMD\n"),
            (Table{{"CMD", GetParam().stored, GetParam().stored}}));
}

INSTANTIATE_TEST_SUITE_P(Rule, HexField,
                         testing::Values(HexCase{"a0", "A0"}, HexCase{"5", "05"}, HexCase{"100", "100"},
                                         HexCase{"1a3", "1A3"}, HexCase{"FFFFFFFF", "FFFFFFFF"},
                                         HexCase{"ffffffff", "FFFFFFFF"}, HexCase{"000000000000a4", "A4"},
                                         HexCase{"0", "00"}, HexCase{"00000000000", "00"},
                                         HexCase{"1FFFFFFFF", "00"}, HexCase{"0xA0", "00"},
                                         HexCase{"$A0", "00"}, HexCase{"A0 ", "00"}, HexCase{" A0", "00"},
                                         HexCase{"G1", "00"}, HexCase{"-1", "00"}, HexCase{"+1", "00"},
                                         HexCase{"", "00"}));

TEST(CommandLoad, FirstOccurrenceOfADuplicateNameWins) {
  EXPECT_EQ(LoadCommands("+\tA0\tA4\tSELECT\n+\t00\tA4\tSELECT\n"), (Table{{"SELECT", "A0", "A4"}}));
}

TEST(CommandLoad, NamesThatDifferOnlyInCaseAreBothKeptInFileOrder) {
  EXPECT_EQ(LoadCommands("+\t01\t01\tselect\n+\t02\t02\tb\n+\t03\t03\tSelect\n+\t04\t04\tA\n"),
            (Table{{"A", "04", "04"}, {"b", "02", "02"}, {"select", "01", "01"}, {"Select", "03", "03"}}));
}

TEST(CommandLoad, TiesKeepFileOrderBeyondNineEntries) {
  // Sixteen spellings of one name: a tie broken by text instead of number would put 10 before 2.
  std::string text;
  Table expected;
  for (int variant = 0; variant < 16; ++variant) {
    std::string name = "abcd";
    for (int letter = 0; letter < 4; ++letter) {
      if (variant & (1 << letter)) name[letter] = static_cast<char>(name[letter] - 'a' + 'A');
    }
    text += "+\t00\t00\t" + name + "\n";
    expected.push_back({name, "00", "00"});
  }
  EXPECT_EQ(LoadCommands(text), expected);
}

TEST(CommandLoad, EmptyNameIsDroppedOnlyWhileTheTableIsEmpty) {
  EXPECT_EQ(LoadCommands("+\t01\t01\t\n+\t02\t02\tX\n+\t03\t03\t\n+\t04\t04\t\n"),
            (Table{{"", "03", "03"}, {"X", "02", "02"}}));
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TemplateFiles.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

using Table = std::vector<std::vector<std::string>>;

const std::vector<std::string> kNotDefined = {"****", "**", "**", "0", "Not defined"};

Table LoadStatusWords(const std::string& text) {
  TempDir folder;
  TTemplatesObject templates;
  templates.LoadStatusWordTemplate(WriteFile(folder, "card.swt", text));
  return Rows(templates.StatusWords, {"SW", "SW1", "SW2", "Color", "Verbose"});
}

struct StatusWordCase {
  const char* line;
  Table expected;  // besides the catch-all, unless the line defines it
};

void PrintTo(const StatusWordCase& row, std::ostream* out) {
  *out << '"' << Escaped(row.line) << '"';
}

class StatusWordLine : public testing::TestWithParam<StatusWordCase> {};

TEST_P(StatusWordLine, IsCleanedUpAsTheFormatSays) {
  Table expected = GetParam().expected;
  if (expected.empty() || expected.front().front() != "****") expected.insert(expected.begin(), kNotDefined);
  EXPECT_EQ(LoadStatusWords(std::string(GetParam().line) + "\r\n"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Format, StatusWordLine,
    testing::Values(
        StatusWordCase{"+\t6c\txx\t0000FF\tWrong length: retry with  Le",
                       {{"6c**", "6c", "**", "255", "Wrong length: retry with  Le"}}},
        StatusWordCase{"+\tXX\txX\t00FF00\tAny other", {{"****", "**", "**", "65280", "Any other"}}},
        StatusWordCase{"+\t90", {{"90", "90", "", "0", ""}}},
        StatusWordCase{"+\t 6A\t 82\t\tFile not found", {{"6A 82", "6A", "82", "0", "File not found"}}},
        StatusWordCase{"+\t6A \t82\t0\tblank inside", {{"6A 82", "6A ", "82", "0", "blank inside"}}},
        StatusWordCase{"+\t\t\x01"
                       "82\t1\tno SW1",
                       {{"82", "", "82", "1", "no SW1"}}},
        StatusWordCase{"+\t6G\tzz\t1\tnot hex", {{"6Gzz", "6G", "zz", "1", "not hex"}}},
        StatusWordCase{"+\t63\tCx\t1\tCounter\tignored", {{"63C*", "63", "C*", "1", "Counter"}}},
        StatusWordCase{"-\t90\t00\t1\tdisabled", {}}, StatusWordCase{"+ \t90\t00\t1\tdisabled", {}},
        StatusWordCase{"+\t\t\t1\tempty key while empty", {}}));

struct ColourCase {
  const char* field;
  std::int32_t colour;
};

void PrintTo(const ColourCase& row, std::ostream* out) {
  *out << '"' << Escaped(row.field) << '"';
}

class ColourField : public testing::TestWithParam<ColourCase> {};

TEST_P(ColourField, ReadsAsHexOrAsWhite) {
  const Table rows = LoadStatusWords(std::string("+\t90\t00\t") + GetParam().field + "\tOK\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][3], std::to_string(GetParam().colour));
}

INSTANTIATE_TEST_SUITE_P(Rule, ColourField,
                         testing::Values(ColourCase{"", 0}, ColourCase{"0", 0}, ColourCase{"0000FF", 255},
                                         ColourCase{"ff00", 0xFF00}, ColourCase{"00000000000001", 1},
                                         ColourCase{"7FFFFFFF", 0x7FFFFFFF}, ColourCase{"FFFFFFFF", -1},
                                         ColourCase{"100000000", 0x00FFFFFF}, ColourCase{"zz", 0x00FFFFFF},
                                         ColourCase{"0x12", 0x00FFFFFF}, ColourCase{" 12", 0x00FFFFFF},
                                         ColourCase{"12 ", 0x00FFFFFF}, ColourCase{"-1", 0x00FFFFFF}));

TEST(StatusWordLoad, MissingColourFieldGivesZero) {
  EXPECT_EQ(LoadStatusWords("+\t90\t00\n"), (Table{kNotDefined, {"9000", "90", "00", "0", ""}}));
}

TEST(StatusWordLoad, FirstOccurrenceOfADuplicateKeyWinsWithCaseMattering) {
  EXPECT_EQ(LoadStatusWords("+\t6A\t82\t1\tfirst\n+\t6A\t82\t2\tsecond\n+\t6a\t82\t3\tlower\n"
                            "+\t6A8\t2\t4\tsame key, split elsewhere\n"),
            (Table{kNotDefined, {"6A82", "6A", "82", "1", "first"}, {"6a82", "6a", "82", "3", "lower"}}));
}

TEST(StatusWordLoad, FilesOwnCatchAllReplacesTheDefault) {
  EXPECT_EQ(LoadStatusWords("+\t90\t00\t00FF00\tOK\n+\txx\tXX\t0000FF\tUnknown\n"),
            (Table{{"****", "**", "**", "255", "Unknown"}, {"9000", "90", "00", "65280", "OK"}}));
}

TEST(StatusWordLoad, CatchAllTakesItsPlaceInTheSortedOrder) {
  EXPECT_EQ(LoadStatusWords("+\t90\t00\t0\tOK\n+\t$$\t\t0\tbefore the asterisks\n+\t**\t*\t0\tthree\n"),
            (Table{{"$$", "$$", "", "0", "before the asterisks"},
                   {"***", "**", "*", "0", "three"},
                   kNotDefined,
                   {"9000", "90", "00", "0", "OK"}}));
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TemplateFiles.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

using Table = std::vector<std::vector<std::string>>;
using namespace std::string_view_literals;

const std::vector<std::string> kNotDefined = {"****", "**", "**", "0", "Not defined"};

class BadInput : public testing::Test {
 protected:
  Table LoadCommands(std::string_view bytes) {
    templates.LoadCommandTemplate(WriteFile(folder, "card.cct", bytes));
    return Rows(templates.Commands, {"Name", "Cla", "Ins"});
  }
  Table LoadStatusWords(std::string_view bytes) {
    templates.LoadStatusWordTemplate(WriteFile(folder, "card.swt", bytes));
    return Rows(templates.StatusWords, {"SW", "SW1", "SW2", "Color", "Verbose"});
  }

  TempDir folder;
  TTemplatesObject templates;
};

// Random bytes without line ends or NUL, so that they stay inside the line they are put in.
std::string Noise(std::mt19937& random, std::size_t size) {
  std::uniform_int_distribution<int> byte(1, 255);
  std::string noise;
  while (noise.size() < size) {
    const char c = static_cast<char>(byte(random));
    if (c != '\r' && c != '\n') noise += c;
  }
  return noise;
}

bool IsHexByteText(const std::string& text) {
  return text.empty() || (text.size() >= 2 && text.size() <= 8 &&
                          text.find_first_not_of("0123456789ABCDEF") == std::string::npos);
}

TEST_F(BadInput, BinaryNoiseLeavesTheEntriesBetweenItAndAWellFormedTable) {
  std::mt19937 random(20240517);
  std::string text;
  for (int entry = 0; entry < 200; ++entry) {
    text += Noise(random, 2000) + "\n+\t" + std::to_string(entry % 100) + "\tB0\tKNOWN " +
            std::to_string(entry) + "\r\n" + (entry % 3 == 0 ? "+\t" : "") + Noise(random, 300) + "\r";
  }
  const Table rows = LoadCommands(text);

  std::set<std::string> names;
  for (std::size_t entry = 0; entry < rows.size(); ++entry) {
    EXPECT_TRUE(names.insert(rows[entry][0]).second) << "duplicate " << Escaped(rows[entry][0]);
    EXPECT_TRUE(IsHexByteText(rows[entry][1]) && IsHexByteText(rows[entry][2])) << Escaped(rows[entry][0]);
  }
  for (int entry = 0; entry < 200; ++entry) {
    std::string cla = std::to_string(entry % 100);
    if (cla.size() < 2) cla.insert(0, "0");
    EXPECT_TRUE(templates.Commands.Locate("Name", "KNOWN " + std::to_string(entry)));
    EXPECT_EQ(templates.Commands.AsText("Cla"), cla);
  }

  const Table statusWords = LoadStatusWords(text);
  EXPECT_EQ(std::count(statusWords.begin(), statusWords.end(), kNotDefined), 1);
}

TEST_F(BadInput, TenMegabyteLinesLoad) {
  const std::string huge(10 * 1024 * 1024, 'N');
  EXPECT_EQ(LoadCommands(huge + "\n+\tA0\tA4\t" + huge + "\n" + std::string(10 * 1024 * 1024, '\t') + "\n" +
                         "+" + std::string(10 * 1024 * 1024, '\t') + "\n+\t00\tB0\tREAD\n"),
            (Table{{"", "00", "00"}, {huge, "A0", "A4"}, {"READ", "00", "B0"}}));
}

TEST_F(BadInput, CrOnlyLineEndsSeparateEntries) {
  std::string text;
  for (int entry = 0; entry < 1000; ++entry) text += "+\t90\t" + std::to_string(entry) + "\t\tmeaning\r\r";
  EXPECT_EQ(LoadStatusWords(text).size(), 1001u);
  EXPECT_EQ(LoadCommands("+\tA0\tA4\tONE\r+\t00\tB0\tTWO\r\r"),
            (Table{{"ONE", "A0", "A4"}, {"TWO", "00", "B0"}}));
}

TEST_F(BadInput, NulEndsTheFile) {
  EXPECT_EQ(LoadCommands("+\tA0\tA4\tONE\n+\t00\tB0\tT\0WO\n+\t00\tB0\tTHREE\n"sv),
            (Table{{"ONE", "A0", "A4"}, {"T", "00", "B0"}}));
  EXPECT_EQ(LoadStatusWords("\0+\t90\t00\t0\tOK\n"sv), Table{kNotDefined});
}

TEST_F(BadInput, EightBitAndInvalidUtf8TextIsKeptByteForByte) {
  EXPECT_EQ(LoadCommands("+\tA0\tA4\t\xC3\x28 invalid\n+\t00\tB0\t\xE9t\xE9\n+\t00\tB2\t\xC9T\xC9\n"
                         "+\t\xB5\tC0\tmicro\n\xA0+\t00\tC2\tnot blank\n"),
            (Table{{"micro", "00", "C0"},
                   {"\xC3\x28 invalid", "A0", "A4"},
                   {"\xC9T\xC9", "00", "B2"},
                   {"\xE9t\xE9", "00", "B0"}}));
  EXPECT_EQ(LoadStatusWords("+\t\xFFx\t\xE9X\t\xFF\t\xC3\x28\n"),
            (Table{kNotDefined, {"\xFF*\xE9*", "\xFF*", "\xE9*", "16777215", "\xC3\x28"}}));
}

TEST_F(BadInput, ByteOrderMarkDoesNotHideTheFirstEntry) {
  EXPECT_EQ(LoadCommands("\xEF\xBB\xBF+\tA0\tA4\tSELECT\n"), (Table{{"SELECT", "A0", "A4"}}));
}

}  // namespace
}  // namespace tessaly::test

#include <gtest/gtest.h>

#include "TemplateFiles.h"
#include "templates/StatusWordLookup.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

// A status-word file whose wildcard entries come before the exact ones, so that the order of the file
// cannot decide.
class StatusWordLookupTest : public ::testing::Test {
 protected:
  StatusWordLookupTest() {
    templates_.LoadStatusWordTemplate(WriteFile(folder_, "card.swt",
                                                "+\t6A\tXX\t0000C0\tWrong parameters\n"
                                                "+\t6a\t82\t0000FF\tFile not found\n"
                                                "+\t63\tXX\t005AB4\tMemory changed\n"
                                                "+\t63\tCx\t005AB4\tWrong PIN, tries left in the low digit\n"
                                                "+\t90\t00\t008000\tDone\n"
                                                "+\t90\t\t008000\tToo short to match\n"));
  }

  TempDir folder_;
  TTemplatesObject templates_;
};

TEST_F(StatusWordLookupTest, ExactEntriesComeBeforeWildcardsAndFewerWildcardsBeforeMore) {
  struct Case {
    std::uint8_t Sw1, Sw2;
    const char* Key;
    const char* Verbose;
    std::uint32_t Colour;
  };
  const Case cases[] = {
      {0x6A, 0x82, "6a82", "File not found", 0x0000FF},
      {0x6A, 0x86, "6A**", "Wrong parameters", 0x0000C0},
      {0x63, 0xC2, "63C*", "Wrong PIN, tries left in the low digit", 0x005AB4},
      {0x63, 0x81, "63**", "Memory changed", 0x005AB4},
      {0x90, 0x00, "9000", "Done", 0x008000},
      {0x6D, 0x00, "****", "Not defined", 0},
  };
  for (const Case& c : cases) {
    const TStatusWordMeaning meaning = FindStatusWord(templates_.StatusWords, c.Sw1, c.Sw2);
    EXPECT_EQ(meaning.Key, c.Key) << c.Verbose;
    EXPECT_EQ(meaning.Verbose, c.Verbose);
    EXPECT_EQ(meaning.Colour, c.Colour) << c.Verbose;
  }
}

TEST_F(StatusWordLookupTest, TheFilesOwnCatchAllAnswersWhatNoOtherEntryMatches) {
  templates_.LoadStatusWordTemplate(WriteFile(folder_, "own.swt",
                                              "+\t90\t00\t008000\tDone\n"
                                              "+\tXX\tXX\t808080\tUnknown to this card\n"));
  const TStatusWordMeaning meaning = FindStatusWord(templates_.StatusWords, 0x6F, 0x00);
  EXPECT_EQ(meaning.Verbose, "Unknown to this card");
  EXPECT_EQ(meaning.Colour, 0x808080u);
}

TEST(StatusWordLookup, AnEmptyTableExplainsNothing) {
  TTemplatesObject templates;
  const TStatusWordMeaning meaning = FindStatusWord(templates.StatusWords, 0x90, 0x00);
  EXPECT_EQ(meaning.Key, "****");
  EXPECT_EQ(meaning.Verbose, "Not defined");
}

}  // namespace
}  // namespace tessaly::test

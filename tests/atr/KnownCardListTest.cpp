// The list of known cards, read from small list files the tests write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "atr/AtrInfoLines.h"

namespace tessaly {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kList =
    "# comment line\n"
    "\n"
    "3B 02 14 50\n"
    "\tMultiflex 3K\n"
    "\tSecond line\n"
    "\n"
    "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 0[12] 00 00 00 00 ..\n"
    "\tMIFARE Classic 1K or 4K\n"
    "\n"
    "3b 8f 80 01 80 4f 0c a0 00 00 03 06 .. 00 01 00 00 00 00 6A\n"
    "\tAny storage card called 00 01\n"
    "\n"
    "3B 6. 00 00 .*\n"
    "\tSome card with TB1 and TC1\n";

class KnownCardListFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& text) {
    const std::filesystem::path file = dir_ / "smartcard_list.txt";
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

  static std::vector<std::string> Describe(const KnownCardList& list, const std::string& hex) {
    return list.Describe(ParseAtr(hex).Bytes);
  }

  test::TempDir dir_;
};

TEST_F(KnownCardListFile, MatchesExactWildcardAndRegularExpressionPatternsInFileOrder) {
  const KnownCardList list = KnownCardList::Load(Write(kList));
  EXPECT_EQ(list.EntryCount(), 4u);
  EXPECT_THAT(Describe(list, "3B 02 14 50"), ElementsAre("Multiflex 3K", "Second line"));
  EXPECT_THAT(Describe(list, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"),
              ElementsAre("MIFARE Classic 1K or 4K", "Any storage card called 00 01"));
  EXPECT_THAT(Describe(list, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00 69"),
              ElementsAre("MIFARE Classic 1K or 4K"));
  EXPECT_THAT(Describe(list, "3B 65 00 00 20 63 CB 6A 00"), ElementsAre("Some card with TB1 and TC1"));
  EXPECT_THAT(Describe(list, "3B 02 14"), IsEmpty());
  EXPECT_THAT(Describe(list, "3B 02 14 50 00"), IsEmpty());
  EXPECT_THAT(Describe(list, "3B 75 00 00 20"), IsEmpty());
}

TEST_F(KnownCardListFile, DescriptionsAppearAsKnownCardItems) {
  const KnownCardList list = KnownCardList::Load(Write(kList));
  const std::vector<std::string> lines = AtrInfoLines(ParseAtr("3B 02 14 50").Bytes, &list);
  EXPECT_THAT(lines, Contains("Known card=Multiflex 3K"));
  EXPECT_THAT(lines, Contains("Known card 2=Second line"));
  EXPECT_THAT(AtrInfoLines(ParseAtr("3B 02 14 50").Bytes, nullptr), Not(Contains(StartsWith("Known card"))));
}

TEST_F(KnownCardListFile, BrokenFilesAreRejectedNamingFileAndLine) {
  const std::string missing = (dir_ / "missing.txt").string();
  EXPECT_THROW(
      try { KnownCardList::Load(missing); } catch (const EKnownCardListError& error) {
        EXPECT_THAT(error.what(), HasSubstr(missing));
        throw;
      },
      EKnownCardListError);
  const std::string orphan = Write("\tA description without pattern\n");
  EXPECT_THROW(
      try { KnownCardList::Load(orphan); } catch (const EKnownCardListError& error) {
        EXPECT_THAT(error.what(), HasSubstr(orphan + ", line 1"));
        throw;
      },
      EKnownCardListError);
  const std::string badPattern = Write("3B 02 14 50\n\tfine\n\n3B [12\n\tbroken\n");
  EXPECT_THROW(
      try { KnownCardList::Load(badPattern); } catch (const EKnownCardListError& error) {
        EXPECT_THAT(error.what(), HasSubstr(badPattern + ", line 4"));
        throw;
      },
      EKnownCardListError);
}

TEST(KnownCardListSystem, DebianListNamesTheContactlessClassicCard) {
  const std::optional<KnownCardList> list = KnownCardList::LoadDefault();
  if (!list) GTEST_SKIP() << "pcsc-tools' list of known cards is not installed";
  EXPECT_GT(list->EntryCount(), 1000u);
  EXPECT_THAT(list->Describe(ParseAtr("3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A").Bytes),
              Contains(HasSubstr("MIFARE Classic 1K")));
}

}  // namespace
}  // namespace tessaly

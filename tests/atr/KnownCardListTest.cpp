// The list of known cards, read from small list files the tests write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "atr/AtrInfoLines.h"

namespace tessaly {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
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

  static std::string LoadError(const std::string& file) {
    try {
      KnownCardList::Load(file);
    } catch (const EKnownCardListError& error) {
      return error.what();
    }
    return "no error";
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
  EXPECT_THAT(AtrInfoLines(ParseAtr("3B 02 14 50").Bytes, &list),
              IsSupersetOf({"Known card=Multiflex 3K", "Known card 2=Second line"}));
  EXPECT_THAT(AtrInfoLines(ParseAtr("3B 02 14 50").Bytes, nullptr), Not(Contains(StartsWith("Known card"))));
}

TEST_F(KnownCardListFile, BrokenFilesAreRejectedNamingFileAndLine) {
  const std::string missing = (dir_ / "missing.txt").string();
  EXPECT_THAT(LoadError(missing), HasSubstr(missing));
  const std::string orphan = Write("\tA description without pattern\n");
  EXPECT_THAT(LoadError(orphan), HasSubstr(orphan + ", line 1"));
  const std::string badPattern = Write("3B 02 14 50\n\tfine\n\n3B [12\n\tbroken\n");
  EXPECT_THAT(LoadError(badPattern), HasSubstr(badPattern + ", line 4"));
}

TEST_F(KnownCardListFile, AlternativesMatchEachAsAWholeAtr) {
  const KnownCardList list =
      KnownCardList::Load(Write("3B 02 14 50|3F 02 14 5.\n\tEither\n"
                                "3B 02 (14|15) 51\n\tGrouped\n"));
  EXPECT_THAT(Describe(list, "3B 02 14 50"), ElementsAre("Either"));
  EXPECT_THAT(Describe(list, "3F 02 14 5A"), ElementsAre("Either"));
  EXPECT_THAT(Describe(list, "3B 02 15 51"), ElementsAre("Grouped"));
  EXPECT_THAT(Describe(list, "3B 02 14 50 00"), IsEmpty());
  EXPECT_THAT(Describe(list, "3F 02 14"), IsEmpty());
}

// The bucket of exact patterns ends at the longest one: an ATR one byte longer (or 34 bytes, longer than any
// ATR may be) must find nothing there. The sanitizer build turns a read past the bucket into a failure.
TEST_F(KnownCardListFile, AnAtrLongerThanEveryExactPatternFindsNothing) {
  const std::string longest = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";
  const KnownCardList list = KnownCardList::Load(Write(longest + "\n\tOnly entry\n"));
  EXPECT_THAT(Describe(list, longest), ElementsAre("Only entry"));
  EXPECT_THAT(Describe(list, longest + " 00"), IsEmpty());
  std::string thirtyThreeBytes = "3B 0F";
  for (int i = 0; i < 31; ++i) thirtyThreeBytes += " 00";
  const KnownCardList full = KnownCardList::Load(Write(thirtyThreeBytes + "\n\tLongest possible\n"));
  EXPECT_THAT(Describe(full, thirtyThreeBytes), ElementsAre("Longest possible"));
  EXPECT_THAT(Describe(full, thirtyThreeBytes + " 00"), IsEmpty());
}

// ATR_analysis's places, in its order; the first that holds a file is the one used.
class KnownCardListSearch : public KnownCardListFile {
 protected:
  KnownCardListSearch() {
    std::filesystem::create_directories(dir_ / "home" / ".cache");
    std::filesystem::create_directories(dir_ / "cache");
  }

  std::filesystem::path Place(const std::string& relative, const std::string& card) {
    const std::filesystem::path file = dir_ / relative;
    std::ofstream(file, std::ios::binary) << "3B 02 14 50\n\t" << card << "\n";
    return file;
  }

  test::ScopedEnvironment home_{"HOME", (dir_ / "home").string().c_str()};
  test::ScopedEnvironment cache_{"XDG_CACHE_HOME", (dir_ / "cache").string().c_str()};
};

TEST_F(KnownCardListSearch, LooksWhereAtrAnalysisLooksInItsOrder) {
  EXPECT_THAT(KnownCardList::SearchPlaces(),
              ElementsAre(dir_ / "cache" / "smartcard_list.txt", dir_ / "home" / ".smartcard_list.txt",
                          "/usr/local/pcsc/smartcard_list.txt", "/usr/share/pcsc/smartcard_list.txt",
                          "/usr/local/share/pcsc/smartcard_list.txt"));
  const test::ScopedEnvironment noCache("XDG_CACHE_HOME", nullptr);
  EXPECT_EQ(KnownCardList::SearchPlaces().front(), dir_ / "home" / ".cache" / "smartcard_list.txt");
}

TEST_F(KnownCardListSearch, TakesTheUpdatedCopyBeforeTheOthers) {
  const auto dotFile = Place("home/.smartcard_list.txt", "From the home folder");
  std::optional<KnownCardList> list = KnownCardList::LoadDefault();
  ASSERT_TRUE(list);
  EXPECT_EQ(std::filesystem::path(list->FileName()), dotFile);
  EXPECT_THAT(Describe(*list, "3B 02 14 50"), ElementsAre("From the home folder"));
  const auto cached = Place("cache/smartcard_list.txt", "From the cache");
  list = KnownCardList::LoadDefault();
  ASSERT_TRUE(list);
  EXPECT_EQ(std::filesystem::path(list->FileName()), cached);
  EXPECT_THAT(Describe(*list, "3B 02 14 50"), ElementsAre("From the cache"));
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

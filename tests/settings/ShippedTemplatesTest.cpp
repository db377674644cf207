#include <gmock/gmock.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "SettingsFixture.h"
#include "TestText.h"
#include "platform/TextFile.h"
#include "settings/ShippedTemplates.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The lines a load turns into entries: after leading blanks and control characters, a plus sign alone in
// the first field.
std::size_t EntryLineCount(std::string_view text) {
  std::size_t count = 0;
  for (const std::string& line : SplitTextLines(text)) {
    const auto start = line.find_first_not_of(std::string(" \t\r\n\v\f"));
    if (start != std::string::npos && line[start] == '+') ++count;
  }
  return count;
}

class TemplateInstallation : public SettingsFixture {
 protected:
  fs::path TemplatesFolder() const { return fs::path(DefaultWorkDir()) / "Templates"; }
  void FirstStart(TRegistrySettings& store) {
    store.SynchroniseSettings();
    store.InstallShippedTemplates();
  }
};

TEST_F(TemplateInstallation, FirstStartPutsEveryShippedFileWhereTheDefaultCardTypesLook) {
  TRegistrySettings store(0, Hive());
  FirstStart(store);

  EXPECT_THAT(Boxes(), IsEmpty());
  ASSERT_EQ(ShippedTemplates().size(), 4u);
  for (const EmbeddedFile& file : ShippedTemplates()) {
    EXPECT_EQ(FileText(TemplatesFolder() / file.FileName), file.Text) << file.FileName;
  }
  for (const char* cardType : {"ISO-7816 Smart Card", "GSM SIM Card"}) {
    EXPECT_TRUE(fs::is_regular_file(store.GetCOSTemplatePath(cardType))) << cardType;
    EXPECT_TRUE(fs::is_regular_file(store.GetSWTemplatePath(cardType))) << cardType;
  }
}

TEST_F(TemplateInstallation, AUsersFileStaysAndOnlyMissingFilesAreWritten) {
  TRegistrySettings store(0, Hive());
  FirstStart(store);
  WriteText(TemplatesFolder() / "ISO-7816-4.swt", "+\t90\t00\t0\tmine\n");
  fs::remove(TemplatesFolder() / "GSM-11.11.cct");

  store.InstallShippedTemplates();

  EXPECT_EQ(FileText(TemplatesFolder() / "ISO-7816-4.swt"), "+\t90\t00\t0\tmine\n");
  EXPECT_EQ(FileText(TemplatesFolder() / "GSM-11.11.cct"), ShippedTemplates()[2].Text);
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(TemplateInstallation, AFolderThatCannotBeMadeIsReportedAndNothingIsRaised) {
  TRegistrySettings store(0, Hive());
  store.SynchroniseSettings();
  fs::remove_all(TemplatesFolder());
  WriteText(TemplatesFolder(), "a file where the folder belongs");

  EXPECT_NO_THROW(store.InstallShippedTemplates());

  EXPECT_THAT(Boxes(), ElementsAre("TessalyError Message :\r\n\r\nCannot create " +
                                   TemplatesFolder().string() + "\r\n"));
}

// The first file that cannot be written ends the installation: the others would fail alike.
TEST_F(TemplateInstallation, AFileThatCannotBeWrittenIsReportedAndEndsTheInstallation) {
  TRegistrySettings store(0, Hive());
  store.SynchroniseSettings();
  fs::remove_all(TemplatesFolder());
  std::error_code error;
  fs::create_directory_symlink("/proc", TemplatesFolder(), error);  // no one may create files in it
  if (error || !fs::is_directory(TemplatesFolder())) GTEST_SKIP() << "no folder that refuses new files here";

  EXPECT_NO_THROW(store.InstallShippedTemplates());

  const std::string first = (TemplatesFolder() / ShippedTemplates()[0].FileName).string();
  EXPECT_THAT(Boxes(), ElementsAre("TessalyError Message :\r\n\r\nCannot write file \"" + first +
                                   "\": cannot create\r\n"));
}

TEST_F(TemplateInstallation, SettingsOfANewerVersionGetNoFiles) {
  PutInteger("SOFTWARE\\Orvane\\Tessaly Easy", "Version Major", 1);
  PutInteger("SOFTWARE\\Orvane\\Tessaly Easy", "Version Minor", 4);
  TRegistrySettings store(0, Hive());
  const auto before = DumpLocalMachine();

  FirstStart(store);

  EXPECT_EQ(DumpLocalMachine(), before);
  EXPECT_FALSE(fs::exists(DefaultWorkDir()));
  EXPECT_THAT(Boxes(), IsEmpty());
}

// The shipped files, loaded as a card's templates are.
class ShippedTemplateContent : public TemplateInstallation {
 protected:
  void SetUp() override {
    TRegistrySettings store(0, Hive());
    FirstStart(store);
  }
  std::string PathOf(const std::string& name) const { return (TemplatesFolder() / name).string(); }
  std::size_t EntryLinesOf(const std::string& name) const { return EntryLineCount(FileText(PathOf(name))); }

  TTemplatesObject templates_;
};

std::string Column(TKeyedTable& table, std::string_view keyColumn, std::string_view key,
                   std::string_view column) {
  if (!table.Locate(keyColumn, key)) return "(no " + std::string(key) + ")";
  return table.AsText(column);
}

TEST_F(ShippedTemplateContent, CommandsNameTheInstructionsWithTheirClass) {
  templates_.LoadCommandTemplate(PathOf("ISO-7816-4.cct"));
  TKeyedTable& commands = templates_.Commands;

  EXPECT_EQ(commands.Count(), EntryLinesOf("ISO-7816-4.cct"));  // no name given twice
  const std::pair<const char*, const char*> expected[] = {{"SELECT", "A4"},
                                                          {"READ BINARY", "B0"},
                                                          {"UPDATE BINARY", "D6"},
                                                          {"READ RECORD", "B2"},
                                                          {"UPDATE RECORD", "DC"},
                                                          {"GET RESPONSE", "C0"},
                                                          {"GET DATA", "CA"},
                                                          {"VERIFY", "20"},
                                                          {"GET CHALLENGE", "84"},
                                                          {"INTERNAL AUTHENTICATE", "88"},
                                                          {"EXTERNAL AUTHENTICATE", "82"},
                                                          {"MANAGE CHANNEL", "70"}};
  for (const auto& [name, ins] : expected) {
    EXPECT_EQ(Column(commands, "Name", name, "Cla"), "00") << name;
    EXPECT_EQ(Column(commands, "Name", name, "Ins"), ins) << name;
  }

  templates_.LoadCommandTemplate(PathOf("GSM-11.11.cct"));
  EXPECT_EQ(commands.Count(), EntryLinesOf("GSM-11.11.cct"));
  EXPECT_EQ(Column(commands, "Name", "SELECT", "Cla") + Column(commands, "Name", "SELECT", "Ins"), "A0A4");
  EXPECT_EQ(Column(commands, "Name", "VERIFY CHV", "Cla") + Column(commands, "Name", "VERIFY CHV", "Ins"),
            "A020");
}

TEST_F(ShippedTemplateContent, IsoStatusWordsExplainExactAndWildcardWords) {
  templates_.LoadStatusWordTemplate(PathOf("ISO-7816-4.swt"));
  TKeyedTable& words = templates_.StatusWords;

  // Every entry line is kept, and the catch-all "Not defined" comes on top.
  EXPECT_EQ(words.Count(), EntryLinesOf("ISO-7816-4.swt") + 1);
  EXPECT_EQ(Column(words, "SW", "****", "Verbose"), "Not defined");
  EXPECT_EQ(Column(words, "SW", "6A82", "Verbose"), "File or application not found");
  EXPECT_THAT(Column(words, "SW", "9000", "Verbose"), ::testing::StartsWith("Normal processing"));
  EXPECT_EQ(Column(words, "SW", "61**", "SW2"), "**");
  EXPECT_EQ(Column(words, "SW", "6C**", "SW2"), "**");
  EXPECT_EQ(Column(words, "SW", "63C*", "SW2"), "C*");
  EXPECT_THAT(Column(words, "SW", "63C*", "Verbose"), ::testing::HasSubstr("tries left"));
}

TEST_F(ShippedTemplateContent, GsmStatusWordsCoverEveryGroupOfTheSim) {
  templates_.LoadStatusWordTemplate(PathOf("GSM-11.11.swt"));
  TKeyedTable& words = templates_.StatusWords;

  EXPECT_EQ(words.Count(), EntryLinesOf("GSM-11.11.swt") + 1);
  for (const char* key : {"9000", "91**", "9F**", "92**", "94**", "98**", "9404", "9804", "9840"}) {
    EXPECT_NE(Column(words, "SW", key, "Verbose"), "") << key;
  }
  EXPECT_EQ(Column(words, "SW", "****", "Verbose"), "Not defined");
}

// WCAG contrast of a colour (blue, green, red from the low byte up, as Windows keeps them) against white.
double ContrastOnWhite(std::uint32_t color) {
  const auto linear = [](std::uint32_t channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const double luminance = 0.2126 * linear(color & 0xFF) + 0.7152 * linear((color >> 8) & 0xFF) +
                           0.0722 * linear((color >> 16) & 0xFF);
  return 1.05 / (luminance + 0.05);
}

TEST_F(ShippedTemplateContent, EveryColourReadsOnALightBackground) {
  for (const char* name : {"ISO-7816-4.swt", "GSM-11.11.swt"}) {
    templates_.LoadStatusWordTemplate(PathOf(name));
    TKeyedTable& words = templates_.StatusWords;
    std::set<std::string> colors;
    for (std::size_t entry = 0; entry < words.Count(); ++entry) {
      const std::string sw = words.TextAt(entry, "SW");
      if (sw == "****") continue;  // the catch-all is the program's, not the file's
      const auto color = static_cast<std::uint32_t>(std::stoul(words.TextAt(entry, "Color")));
      EXPECT_GE(ContrastOnWhite(color), 4.5) << name << " " << sw;
      colors.insert(words.TextAt(entry, "Color"));
    }
    EXPECT_GE(colors.size(), 3u) << name << ": success, warning and error look alike";
  }
}

}  // namespace
}  // namespace tessaly::test

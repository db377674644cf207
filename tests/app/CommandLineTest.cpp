#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly::test {
namespace {

TEST(CommandLine, FileOptionsTakeTheirFileAsTheNextArgumentOrAfterAnEqualsSign) {
  const CommandLine separate = ParseCommandLine({"--registry", "/tmp/x.db", "--screenshot", "w.png"});
  EXPECT_EQ(separate.RegistryFile, std::filesystem::path("/tmp/x.db"));
  EXPECT_EQ(separate.ScreenshotFile, std::filesystem::path("w.png"));
  EXPECT_FALSE(separate.ShowHelp || separate.ShowVersion);

  EXPECT_EQ(ParseCommandLine({"--card-list", "cards.txt"}).CardListFile, std::filesystem::path("cards.txt"));

  const CommandLine joined = ParseCommandLine({"--screenshot=w.png", "--registry=/tmp/x.db"});
  EXPECT_EQ(joined.RegistryFile, std::filesystem::path("/tmp/x.db"));
  EXPECT_EQ(joined.ScreenshotFile, std::filesystem::path("w.png"));
}

TEST(CommandLine, NoArgumentsAskForAPlainStart) {
  const CommandLine plain = ParseCommandLine({});
  EXPECT_FALSE(plain.RegistryFile || plain.ScreenshotFile || plain.ShowHelp || plain.ShowVersion);
  EXPECT_EQ(plain.Readers, ReaderSource::Auto);
}

TEST(CommandLine, ReadersNameTheirSourceInEitherForm) {
  EXPECT_EQ(ParseCommandLine({"--readers", "pcsc"}).Readers, ReaderSource::Pcsc);
  EXPECT_EQ(ParseCommandLine({"--readers=virtual"}).Readers, ReaderSource::Virtual);
  EXPECT_EQ(ParseCommandLine({"--readers", "auto"}).Readers, ReaderSource::Auto);
}

TEST(CommandLine, HelpAndVersionAreRecognised) {
  EXPECT_TRUE(ParseCommandLine({"--help"}).ShowHelp);
  EXPECT_TRUE(ParseCommandLine({"-h"}).ShowHelp);
  EXPECT_TRUE(ParseCommandLine({"--version"}).ShowVersion);
}

TEST(CommandLine, ThePageOptionNamesOneOfThePages) {
  EXPECT_EQ(ParseCommandLine({}).Page, "");
  EXPECT_EQ(ParseCommandLine({"--page", "log"}).Page, "log");
  EXPECT_EQ(ParseCommandLine({"--page=preferences"}).Page, "preferences");
  EXPECT_EQ(ParseCommandLine({"--page", "monitor"}).Page, "monitor");
}

TEST(CommandLine, UnknownArgumentsAndMissingFilesAreRefused) {
  const std::vector<std::vector<std::string>> refused = {
      {"--registry"},       {"--registry="}, {"--screenshot"}, {"--screenshot", ""},
      {"--verbose"},        {"file.db"},     {"--readers"},    {"--readers", "usb"},
      {"--readers=PCSC"},   {"--page"},      {"--page="},      {"--page", "Log"},
      {"--page", "events"}, {"--log"},
  };
  for (const auto& arguments : refused) {
    EXPECT_THROW(ParseCommandLine(arguments), ECommandLineError) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace tessaly::test

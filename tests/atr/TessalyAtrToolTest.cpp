// tessaly-atr through its real executable: output blocks and exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "TestText.h"
#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

using test::ShellQuoted;

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kContactless = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";

struct Outcome {
  int Code = -1;
  std::string Out;
  std::string Err;
};

class TessalyAtrTool : public ::testing::Test {
 protected:
  // Runs the tool with its own list of known cards unless the arguments name one; stdin from a file.
  Outcome Run(std::vector<std::string> arguments, const std::string& input = "") {
    if (arguments.empty() || arguments[0] != "--card-list")
      arguments.insert(arguments.begin(), {"--card-list", "list.txt"});
    return RunAsIs(arguments, input);
  }

  // Runs the tool as given, with HOME and XDG_CACHE_HOME in the test's folder.
  Outcome RunAsIs(const std::vector<std::string>& arguments, const std::string& input = "") {
    Write("in.txt", input);
    Write("list.txt", "3B 02 14 50\n\tMultiflex \"3K\"\n");
    const std::string folder = ShellQuoted(folder_.Path().string());
    std::string command = "cd " + folder + " && HOME=" + folder + "/home XDG_CACHE_HOME=" + folder +
                          "/cache " + ShellQuoted(TESSALY_ATR_EXECUTABLE);
    for (const auto& argument : arguments) command += " " + ShellQuoted(argument);
    command += " < in.txt > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read("out.txt"), Read("err.txt")};
  }

  void Write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories((folder_ / name).parent_path());
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }

  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  test::TempDir folder_;
};

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(TessalyAtrTool, PrintsOneBlockPerAtrAndSucceedsWhenAllAreWellFormed) {
  const Outcome outcome = Run({"3B 02 14 50", kContactless});
  EXPECT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_THAT(outcome.Out, StartsWith("ATR: 3B 02 14 50\nATR\n  Length                        4 bytes\n"
                                      "  Card list                     list.txt\n"
                                      "  Known card                    Multiflex \"3K\"\n"));
  EXPECT_THAT(outcome.Out, HasSubstr("\n\nATR: " + std::string(kContactless) + "\nATR\n"));
  EXPECT_THAT(outcome.Out,
              HasSubstr("\nCheck byte\n  Required                      yes, a protocol other than T=0"));
}

TEST_F(TessalyAtrTool, MalformedAtrExitsWithOneAndSaysWhy) {
  const Outcome outcome = Run({"3B 02 14 50", "3B 02 14"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_THAT(outcome.Out, HasSubstr("  Problem                       T0 announces 2 historical bytes"));
  for (const char* withCheckByte : {"3B 02 14 50 46", "3B 80 00 80"}) {
    const Outcome tck = Run({withCheckByte});
    EXPECT_EQ(tck.Code, 1) << withCheckByte;
    EXPECT_THAT(tck.Out, HasSubstr("only T=0 is offered, when no check byte may follow")) << withCheckByte;
  }
}

TEST_F(TessalyAtrTool, ReadsOneAtrPerLineFromStandardInputWithoutComments) {
  const Outcome outcome =
      Run({}, "# my cards\n3B 02 14 50  # the Multiflex\n\n  3b:65:00:00:20:63:cb:6a:00  \r\n");
  EXPECT_EQ(outcome.Code, 0) << outcome.Out;
  EXPECT_THAT(outcome.Out, StartsWith("ATR: 3B 02 14 50\n"));
  EXPECT_THAT(outcome.Out, HasSubstr("\n\nATR: 3B 65 00 00 20 63 CB 6A 00\nATR\n"));
  EXPECT_EQ(CountOf(outcome.Out, "ATR: "), 2);
}

TEST_F(TessalyAtrTool, JoinsArgumentsIntoOneAtrUnlessEachIsAWholeAtr) {
  EXPECT_THAT(Run({"3B", "02", "14", "50"}).Out, StartsWith("ATR: 3B 02 14 50\nATR\n"));
  EXPECT_THAT(Run({"0x3B", "0x02", "0x14", "0x50"}).Out, StartsWith("ATR: 3B 02 14 50\nATR\n"));
  EXPECT_THAT(Run({"3B02", "1450"}).Out, StartsWith("ATR: 3B 02 14 50\nATR\n"));
  const Outcome oddDigits = Run({"3B", "02", "14", "5"});
  EXPECT_EQ(oddDigits.Code, 1);
  EXPECT_EQ(CountOf(oddDigits.Out, "ATR: "), 1) << oddDigits.Out;
  EXPECT_THAT(oddDigits.Out, HasSubstr("Odd number of hexadecimal digits"));
  EXPECT_EQ(CountOf(Run({"3B 02 14 50", "3B-02-14-50"}).Out, "ATR: "), 2);
}

TEST_F(TessalyAtrTool, TextThatIsNoAtrGetsOnlyTheError) {
  const Outcome outcome = Run({"hello"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_THAT(outcome.Out, HasSubstr("Character 'h' at position 1 is not a hexadecimal digit"));
  EXPECT_THAT(outcome.Out, Not(HasSubstr("Protocols")));
  EXPECT_THAT(outcome.Out, Not(HasSubstr("Card list")));
}

TEST_F(TessalyAtrTool, FindsTheListWhereAtrAnalysisLooksAndTellsWhereToSubmitAnUnknownCard) {
  Write("home/.smartcard_list.txt", "3B 02 14 50\n\tFrom the home folder\n");
  const Outcome home = RunAsIs({"3B 02 14 50"});
  EXPECT_THAT(home.Out,
              HasSubstr("  Card list                     " + (folder_ / "home/.smartcard_list.txt").string() +
                        "\n  Known card                    From the home folder\n"));
  Write("cache/smartcard_list.txt", "3B 02 14 51\n\tFrom the cache\n");
  const Outcome cached = RunAsIs({"3B 02 14 50"});
  EXPECT_EQ(cached.Code, 0);
  EXPECT_THAT(cached.Out, HasSubstr("  Card list                     " +
                                    (folder_ / "cache/smartcard_list.txt").string() + "\n"));
  EXPECT_THAT(cached.Out, HasSubstr("  Known card                    not in the list; submit it at "
                                    "https://smartcard-atr.apdu.fr/parse?ATR=3B021450\n"));
}

TEST_F(TessalyAtrTool, WritesOneJsonObjectPerAtrForScripts) {
  const Outcome outcome = Run({"--json", "3B 02 14 50", "3B 02 14 50 46"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_THAT(outcome.Out,
              StartsWith("{\"atr\":\"3B 02 14 50\",\"wellFormed\":true,\"analysis\":{\"ATR\":{\"Length\":\"4 "
                         "bytes\",\"Card list\":\"list.txt\",\"Known card\":\"Multiflex \\\"3K\\\"\","));
  EXPECT_THAT(outcome.Out, HasSubstr("\"Check byte\":{\"Required\":\"no, only T=0 is offered\",\"Verdict\":"
                                     "\"absent, as it should be\"}}}\n{\"atr\":\"3B 02 14 50 46\","
                                     "\"wellFormed\":false,"));
  EXPECT_EQ(CountOf(outcome.Out, "\n"), 2);
}

TEST_F(TessalyAtrTool, BadUsageExitsWithTwoHelpAndVersionWithZero) {
  EXPECT_EQ(Run({"--bogus"}).Code, 2);
  EXPECT_EQ(Run({"-x"}).Code, 2);
  EXPECT_EQ(Run({"--card-list"}).Code, 2);
  const Outcome missingList = Run({"--card-list", "nowhere.txt", "3B 02 14 50"});
  EXPECT_EQ(missingList.Code, 2);
  EXPECT_THAT(missingList.Err, HasSubstr("nowhere.txt"));
  EXPECT_THAT(missingList.Out, Not(HasSubstr("ATR")));
  for (const char* help : {"--help", "-h"}) {
    const Outcome outcome = Run({help});
    EXPECT_EQ(outcome.Code, 0);
    EXPECT_THAT(outcome.Out, StartsWith("Usage: tessaly-atr [--card-list FILE] [--json] [--] [ATR...]\n"));
  }
  for (const char* version : {"--version", "-V"}) {
    const Outcome outcome = Run({version});
    EXPECT_EQ(outcome.Code, 0);
    EXPECT_EQ(outcome.Out, std::string("tessaly-atr (Tessaly Easy) ") + kProductVersion + "\n");
  }
  EXPECT_THAT(Run({"--", "--json"}).Out, StartsWith("ATR: --json\n")) << "after -- every argument is an ATR";
}

}  // namespace
}  // namespace tessaly

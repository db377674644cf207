// tessaly-atr through its real executable: output blocks and exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kContactless = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";

struct Outcome {
  int Code = -1;
  std::string Out;
  std::string Err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class TessalyAtrTool : public ::testing::Test {
 protected:
  // Runs the tool with its own list of known cards unless the arguments name one; stdin from a file.
  Outcome Run(std::vector<std::string> arguments, const std::string& input = "") {
    Write("in.txt", input);
    Write("list.txt", "3B 02 14 50\n\tMultiflex 3K\n");
    if (arguments.empty() || arguments[0] != "--card-list")
      arguments.insert(arguments.begin(), {"--card-list", "list.txt"});
    std::string command = "cd " + Quote(folder_.Path().string()) + " && " + Quote(TESSALY_ATR_EXECUTABLE);
    for (const auto& argument : arguments) command += " " + Quote(argument);
    command += " < in.txt > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read("out.txt"), Read("err.txt")};
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }

  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  test::TempDir folder_;
};

TEST_F(TessalyAtrTool, PrintsOneBlockPerAtrAndSucceedsWhenAllAreWellFormed) {
  const Outcome outcome = Run({"3B 02 14 50", kContactless});
  EXPECT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_THAT(outcome.Out, StartsWith("3B 02 14 50\nATR\n  Length                        4 bytes\n"
                                      "  Known card                    Multiflex 3K\n"));
  EXPECT_THAT(outcome.Out, HasSubstr("\n\n" + std::string(kContactless) + "\nATR\n"));
  EXPECT_THAT(outcome.Out,
              HasSubstr("\nCheck byte\n  Required                      yes, a protocol other than T=0"));
}

TEST_F(TessalyAtrTool, MalformedAtrExitsWithOne) {
  const Outcome outcome = Run({"3B 02 14 50", "3B 02 14"});
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_THAT(outcome.Out, HasSubstr("  Problem                       T0 announces 2 historical bytes"));
}

TEST_F(TessalyAtrTool, ReadsOneAtrPerLineFromStandardInputOrOneFromSeparateBytes) {
  const Outcome outcome = Run({}, "3B 02 14 50\n\n  3B 65 00 00 20 63 CB 6A 00  \r\n");
  EXPECT_EQ(outcome.Code, 0);
  EXPECT_THAT(outcome.Out, StartsWith("3B 02 14 50\n"));
  EXPECT_THAT(outcome.Out, HasSubstr("\n\n3B 65 00 00 20 63 CB 6A 00\nATR\n"));
  EXPECT_THAT(Run({"3B", "02", "14", "50"}).Out, StartsWith("3B 02 14 50\nATR\n"));
}

TEST_F(TessalyAtrTool, BadUsageExitsWithTwoAndHelpAndVersionWithZero) {
  EXPECT_EQ(Run({"--bogus"}).Code, 2);
  EXPECT_EQ(Run({"--card-list"}).Code, 2);
  const Outcome missingList = Run({"--card-list", "nowhere.txt", "3B 02 14 50"});
  EXPECT_EQ(missingList.Code, 2);
  EXPECT_THAT(missingList.Err, HasSubstr("nowhere.txt"));
  EXPECT_THAT(missingList.Out, Not(HasSubstr("ATR")));
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_THAT(help.Out, StartsWith("Usage: tessaly-atr [--card-list FILE] [ATR...]\n"));
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.Code, 0);
  EXPECT_EQ(version.Out, std::string("tessaly-atr (Tessaly Easy) ") + kProductVersion + "\n");
}

}  // namespace
}  // namespace tessaly

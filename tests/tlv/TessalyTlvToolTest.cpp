// tessaly-tlv through its real executable: arguments and standard input, text and JSON, exit codes, and the
// man page keeping up with the options.
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

using test::FileText;
using test::ShellQuoted;

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Outcome {
  int Code = -1;
  std::string Out;
  std::string Err;
};

class TessalyTlvTool : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::ofstream(folder_ / "in.txt", std::ios::binary) << input;
    std::string command =
        "cd " + ShellQuoted(folder_.Path().string()) + " && " + ShellQuoted(TESSALY_TLV_EXECUTABLE);
    for (const auto& argument : arguments) command += " " + ShellQuoted(argument);
    command += " < in.txt > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileText(folder_ / "out.txt"),
            FileText(folder_ / "err.txt")};
  }

  test::TempDir folder_;
};

TEST_F(TessalyTlvTool, ArgumentsTogetherAreOneListOfObjectsPrintedAsATree) {
  const Outcome outcome = Run({"6F", "0A", "84:02:3F:00", "A5040102AABB"});
  EXPECT_EQ(outcome.Code, 0) << outcome.Err;
  EXPECT_EQ(outcome.Out,
            "6F File control information (FCI) template, 10 bytes\n"
            "  84 DF name, 2 bytes: 3F 00\n"
            "  A5 FCI proprietary template, 4 bytes\n"
            "    01 Boolean, 2 bytes: AA BB\n");
}

TEST_F(TessalyTlvTool, EachLineOfStandardInputIsDecodedAndOneBadLineMakesTheExitCodeOne) {
  const Outcome outcome = Run({}, "84 01 41\r\n\n  8A 00 84 07 A0 00 00 00\n50 4\n");
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_EQ(outcome.Out,
            "84 Dedicated file (DF) name, 1 byte: 41 \"A\"\n\n"
            "8A Authorisation response code, 0 bytes\n"
            "84 Dedicated file (DF) name, 7 bytes (4 present): A0 00 00 00\n"
            "Problem: length 0x07 of tag 84 at offset 2 runs 3 bytes past the end\n\n"
            "Problem: the hexadecimal digit at column 4 is half a byte\n");
  EXPECT_EQ(Run({}, "84 01 41\n9F 38 00\n").Code, 0);
  EXPECT_EQ(Run({}, "84 05 00\n84 00\n").Code, 1);
  EXPECT_EQ(Run({}, "\n").Code, 1);
}

TEST_F(TessalyTlvTool, JsonIsOneDocumentPerList) {
  const Outcome outcome = Run({"--json"}, "5F 2D 02 65 6E\n62 03 8A 01 05\n84 \"\n");
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_EQ(
      outcome.Out,
      "{\"well_formed\":true,\"objects\":[{\"offset\":0,\"tag\":\"5F2D\",\"class\":\"application\","
      "\"constructed\":false,\"name\":\"Language preference\",\"known\":true,\"length\":2,\"value_offset\":3,"
      "\"value_size\":2,\"value\":\"656E\",\"text\":\"en\"}]}\n"
      "{\"well_formed\":true,\"objects\":[{\"offset\":0,\"tag\":\"62\",\"class\":\"application\","
      "\"constructed\":true,\"name\":\"File control parameters (FCP) template\",\"known\":true,\"length\":3,"
      "\"value_offset\":2,\"value_size\":3,\"children\":[{\"offset\":2,\"tag\":\"8A\",\"class\":"
      "\"context-specific\",\"constructed\":false,\"name\":\"Life cycle status\",\"known\":true,\"length\":1,"
      "\"value_offset\":4,\"value_size\":1,\"value\":\"05\",\"explanation\":\"operational state, "
      "activated\"}]}]}\n"
      "{\"well_formed\":false,\"objects\":[],\"problem\":{\"text\":\"'\\\"' at column 4 is neither a "
      "hexadecimal digit nor a separator\"}}\n");
  EXPECT_THAT(Run({"--json", "84 05 00"}).Out,
              HasSubstr("\"problem\":{\"offset\":0,\"text\":\"length 0x05 of tag 84 at offset 0 runs 4 bytes "
                        "past the end\"}"));
}

TEST_F(TessalyTlvTool, BadUsageExitsWithTwoHelpAndVersionWithZero) {
  const Outcome bogus = Run({"--bogus", "84 00"});
  EXPECT_EQ(bogus.Code, 2);
  EXPECT_THAT(bogus.Err, StartsWith("tessaly-tlv: unknown option --bogus\nUsage: tessaly-tlv"));
  EXPECT_EQ(bogus.Out, "");
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_THAT(help.Out, StartsWith("Usage: tessaly-tlv [--json] [HEX...]\n"));
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.Code, 0);
  EXPECT_EQ(version.Out, std::string("tessaly-tlv (Tessaly Easy) ") + kProductVersion + "\n");
}

TEST_F(TessalyTlvTool, ManPageDescribesEveryOptionTheHelpNames) {
  const std::string manPage = FileText(TESSALY_TLV_MAN_PAGE);
  ASSERT_THAT(manPage, StartsWith(".TH TESSALY\\-TLV 1"));
  for (const char* option : {"json", "version", "help"})
    EXPECT_THAT(manPage, HasSubstr("\\-\\-" + std::string(option)));
}

}  // namespace
}  // namespace tessaly

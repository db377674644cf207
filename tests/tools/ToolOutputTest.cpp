// Every command-line program run with its standard output on a full device (/dev/full): the output cannot
// be written, so the program says so and does not end with its success or verdict status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#include "TempDir.h"
#include "TestText.h"

namespace tessaly {
namespace {

using test::FileText;
using test::ShellQuoted;

struct ToolCase {
  const char* Label;
  const char* Name;
  const char* Program;
  const char* Arguments;  // shell words, quoted where needed
  int StatusWhenWritten;
  int StatusWhenLost;
};

void PrintTo(const ToolCase& tool, std::ostream* out) {
  *out << tool.Name << ' ' << tool.Arguments;
}

class ToolOutput : public ::testing::TestWithParam<ToolCase> {
 protected:
  // Every program runs in the test's folder with a hive of its own, which holds one value.
  void SetUp() override {
    std::ofstream(folder_ / "seed.reg") << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane]\n\"A\"=\"b\"\n";
    ASSERT_EQ(Run(TESSALY_REG_EXECUTABLE, "import seed.reg", "/dev/null"), 0) << Err();
  }

  // The exit status with standard output sent to output; standard error is kept in err.txt.
  int Run(const std::string& program, const std::string& arguments, const std::string& output) {
    const std::string folder = ShellQuoted(folder_.Path().string());
    const std::string command = "cd " + folder + " && TESSALY_REGISTRY=registry.db " + ShellQuoted(program) +
                                " " + arguments + " > " + output + " 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int RunTo(const std::string& output) { return Run(GetParam().Program, GetParam().Arguments, output); }

  std::string Err() { return FileText(folder_ / "err.txt"); }

  test::TempDir folder_;
};

TEST_P(ToolOutput, AFullDeviceIsReportedAndEndsWithoutSuccess) {
  ASSERT_EQ(RunTo("out.txt"), GetParam().StatusWhenWritten) << Err();
  EXPECT_FALSE(FileText(folder_ / "out.txt").empty());

  EXPECT_EQ(RunTo("/dev/full"), GetParam().StatusWhenLost);
  EXPECT_EQ(Err(), std::string(GetParam().Name) + ": cannot write the output: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ToolOutput,
    ::testing::Values(
        ToolCase{"AtrWellFormed", "tessaly-atr", TESSALY_ATR_EXECUTABLE, "'3B 02 14 50'", 0, 2},
        ToolCase{"AtrMalformed", "tessaly-atr", TESSALY_ATR_EXECUTABLE, "'3B 02 14 50 46'", 1, 2},
        ToolCase{"AtrHelp", "tessaly-atr", TESSALY_ATR_EXECUTABLE, "--help", 0, 2},
        ToolCase{"TlvWellFormed", "tessaly-tlv", TESSALY_TLV_EXECUTABLE, "'6F 03 84 01 41'", 0, 2},
        ToolCase{"TlvVersion", "tessaly-tlv", TESSALY_TLV_EXECUTABLE, "--version", 0, 2},
        ToolCase{"RegExport", "tessaly-reg", TESSALY_REG_EXECUTABLE, "export", 0, 1},
        ToolCase{"RegVersion", "tessaly-reg", TESSALY_REG_EXECUTABLE, "--version", 0, 1}),
    [](const auto& info) { return std::string(info.param.Label); });

#ifdef TESSALY_CONTROL_CENTER_EXECUTABLE
INSTANTIATE_TEST_SUITE_P(ControlCenter, ToolOutput,
                         ::testing::Values(ToolCase{"Version", "tessaly-control-center",
                                                    TESSALY_CONTROL_CENTER_EXECUTABLE, "--version", 0, 1},
                                           ToolCase{"Help", "tessaly-control-center",
                                                    TESSALY_CONTROL_CENTER_EXECUTABLE, "--help", 0, 1}),
                         [](const auto& info) { return std::string(info.param.Label); });
#endif

}  // namespace
}  // namespace tessaly

// Runs the tessaly-control-center program itself, each time with its own hive, folders and environment.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "RegisteredComponent.h"
#include "TempDir.h"
#include "TempHive.h"
#include "platform/Registry.h"
#include "platform/RegistryHive.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

struct TProgramRun {
  int Status = -1;
  std::string Output;
  std::string Errors;
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string FileText(const fs::path& file) {
  std::ifstream stream(file);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

class ExecutableTest : public ::testing::Test {
 protected:
  // environment: "env" arguments, such as "-u DISPLAY" or "QT_QPA_PLATFORM=offscreen".
  TProgramRun Run(const std::string& environment, const std::vector<std::string>& arguments) {
    std::string command = "env " + environment + " " + Quoted(TESSALY_CONTROL_CENTER_PROGRAM);
    for (const auto& argument : arguments) command += " " + Quoted(argument);
    command += " >" + Quoted((output_ / "stdout").string()) + " 2>" + Quoted((output_ / "stderr").string());
    const int result = std::system(command.c_str());
    TProgramRun run;
    run.Status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    run.Output = FileText(output_ / "stdout");
    run.Errors = FileText(output_ / "stderr");
    return run;
  }

  static constexpr char kHeadless[] = "QT_QPA_PLATFORM=offscreen";
  static constexpr char kNoDisplay[] = "-u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY";

  TempHive hive_;
  TempComponent component_{OpenProcessHive()};
  TempDir output_;
};

void ExpectFirstRunRegistry(const fs::path& componentFolder) {
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy", false));
  EXPECT_EQ(registry.ReadInteger("Version Major"), 1);
  EXPECT_EQ(registry.ReadInteger("Version Minor"), 3);
  ASSERT_TRUE(registry.OpenKey("Preferences", false));
  EXPECT_EQ(registry.ReadInteger("Event_Log_Mode"), 1);
  EXPECT_EQ(registry.ReadInteger("Connection_OnDetect_PC/SC_Protocol"), -1);
  EXPECT_TRUE(registry.KeyExists("\\SOFTWARE\\Orvane\\Tessaly Easy\\Interface\\Monitor"));
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Card Types", false));
  EXPECT_EQ(registry.ReadString("Default Card Type Name"), "ISO-7816 Smart Card");
  EXPECT_EQ(registry.GetKeyNames().size(), 2u);
  EXPECT_TRUE(fs::is_directory(componentFolder / "- Smart Cards Works" / "Templates"));
}

TEST_F(ExecutableTest, AScreenshotRunSavesTheWindowClosesNormallyAndLeavesTheFirstRunRegistry) {
  const fs::path screenshot = output_ / "window.png";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--screenshot", screenshot.string()});

  EXPECT_EQ(run.Status, 0) << run.Errors;
  const QImage image(QString::fromStdString(screenshot.string()));
  EXPECT_EQ(image.size(), QSize(663, 440));
  std::set<QRgb> colours;
  for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, 32));
  EXPECT_GT(colours.size(), 2u) << "the window image is blank";
  ExpectFirstRunRegistry(component_.Folder());
}

TEST_F(ExecutableTest, AScreenshotThatCannotBeSavedIsReportedWithStatusOne) {
  const fs::path screenshot = output_ / "missing folder" / "window.png";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--screenshot", screenshot.string()});

  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find("Cannot save the screenshot to " + screenshot.string()), std::string::npos)
      << run.Errors;
}

TEST_F(ExecutableTest, AFailingStartEndsWithStatusOneBeforeTheWindowAppears) {
  std::ofstream(hive_.File()) << "not a registry hive";
  const fs::path screenshot = output_ / "window.png";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--screenshot", screenshot.string()});

  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find("The settings could not be opened: "), std::string::npos) << run.Errors;
  EXPECT_FALSE(fs::exists(screenshot));
}

TEST_F(ExecutableTest, WithoutADisplayItSynchronisesTheRegistryThenSaysSoInOneLine) {
  const TProgramRun run = Run(kNoDisplay, {"--registry", hive_.File().string()});

  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(run.Errors.starts_with("No display available")) << run.Errors;
  EXPECT_NE(run.Errors.find("xvfb-run"), std::string::npos);
  EXPECT_EQ(std::count(run.Errors.begin(), run.Errors.end(), '\n'), 1) << run.Errors;
  ExpectFirstRunRegistry(component_.Folder());
}

TEST_F(ExecutableTest, VersionHelpAndBadArgumentsAnswerWithoutStarting) {
  const TProgramRun version = Run(kNoDisplay, {"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Output, "Tessaly Easy v1.3 Control Center\n");

  const TProgramRun help = Run(kNoDisplay, {"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_TRUE(help.Output.starts_with("Usage: ")) << help.Output;

  const TProgramRun unknown = Run(kNoDisplay, {"--registry", hive_.File().string(), "--unknown"});
  EXPECT_EQ(unknown.Status, 2);
  EXPECT_NE(unknown.Errors.find("unknown argument '--unknown'"), std::string::npos) << unknown.Errors;

  // None of them touched the registry.
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  EXPECT_FALSE(registry.KeyExists("\\SOFTWARE\\Orvane"));
}

}  // namespace
}  // namespace tessaly::test

// Runs the tessaly-control-center program itself, each time with its own hive, folders and environment.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "RegisteredComponent.h"
#include "TempDir.h"
#include "TempHive.h"
#include "TestText.h"
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

class ExecutableTest : public ::testing::Test {
 protected:
  // environment: "env" arguments, such as "-u DISPLAY" or "QT_QPA_PLATFORM=offscreen".
  TProgramRun Run(const std::string& environment, const std::vector<std::string>& arguments) {
    std::string command = "env " + environment + " " + ShellQuoted(TESSALY_CONTROL_CENTER_PROGRAM);
    for (const auto& argument : arguments) command += " " + ShellQuoted(argument);
    command += " >" + ShellQuoted((output_ / "stdout").string()) + " 2>" +
               ShellQuoted((output_ / "stderr").string());
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

TEST_F(ExecutableTest, AScriptRunsOnTheFirstCardEachExchangeGoesToTheTranscriptAndThePictureFollows) {
  const fs::path script = output_ / "session.apdu";
  std::ofstream(script) << "00 A4 04 00 08 F0 54 45 53 53 41 4C 59\n"
                           "# scriptor's resets and comments\n"
                           "reset\n"
                           "00 B0 00 00 04\n";
  const fs::path transcript = output_ / "session.txt";
  const fs::path screenshot = output_ / "window.png";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--page", "exchange", "--script", script.string(), "--transcript",
                                          transcript.string(), "--screenshot", screenshot.string()});

  EXPECT_EQ(run.Status, 0) << run.Errors;
  EXPECT_TRUE(fs::exists(screenshot));
  const std::string text = FileText(transcript);
  EXPECT_TRUE(text.starts_with("> 00 A4 04 00 08 F0 54 45 53 53 41 4C 59\n< ")) << text;
  EXPECT_NE(text.find("\n> RESET\n< OK: 3B "), std::string::npos) << text;
  EXPECT_NE(text.find("\n> 00 B0 00 00 04\n< "), std::string::npos) << text;
  EXPECT_NE(text.find(" 90 00 : "), std::string::npos) << text;

  std::ofstream(script) << "00 A4 0\n";
  const TProgramRun bad = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--script", script.string(), "--screenshot", screenshot.string()});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Errors.find("Cannot run the script " + script.string() + ": Line 1: "), std::string::npos)
      << bad.Errors;
}

QJsonArray JsonArrayIn(const fs::path& file) {
  QJsonParseError parsed;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(FileText(file)), &parsed);
  EXPECT_EQ(parsed.error, QJsonParseError::NoError) << file << ": " << parsed.errorString().toStdString();
  return document.array();
}

TEST_F(ExecutableTest, TheLogOptionWritesTheKeptRecordsAtCloseAndTheStoredLogModeHoldsFromTheStart) {
  const fs::path script = output_ / "select.apdu";
  std::ofstream(script) << "00 A4 00 0C 02 3F 00\n";
  const auto runWithLog = [&](const fs::path& log) {
    return Run(kHeadless,
               {"--registry", hive_.File().string(), "--readers", "virtual", "--script", script.string(),
                "--screenshot", (output_ / "window.png").string(), "--log", log.string()});
  };
  // Most useful events, the stored default: the card's road and the exchange, its bytes spaced as stored.
  for (const char* name : {"log.csv", "log.json", "log.jsonl"}) {
    const TProgramRun run = runWithLog(output_ / name);
    EXPECT_EQ(run.Status, 0) << name << ": " << run.Errors;
  }
  const std::string csv = FileText(output_ / "log.csv");
  EXPECT_TRUE(csv.starts_with("Number,Time,Code,Source,Event,Details\r\n")) << csv;
  EXPECT_NE(csv.find(",Card ready,ATR = "), std::string::npos) << csv;
  const QJsonArray records = JsonArrayIn(output_ / "log.json");
  QStringList events;
  for (const auto& record : records) events << record.toObject()["event"].toString();
  EXPECT_TRUE(events.contains("Card ready")) << events.join(", ").toStdString();
  EXPECT_FALSE(events.contains("Reader opened")) << "a record of the full log only";
  bool exchangeLogged = false;
  for (const auto& record : records) {
    exchangeLogged |=
        record.toObject()["details"].toString() == "Sent: { 00 A4 00 0C 02 3F 00 }  Received: { 90 00 }";
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z)$)")
                    .match(record.toObject()["time"].toString())
                    .hasMatch())
        << record.toObject()["time"].toString().toStdString();
  }
  EXPECT_TRUE(exchangeLogged);
  const QStringList jsonLines =
      QString::fromStdString(FileText(output_ / "log.jsonl")).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(jsonLines.size(), records.size());

  // Errors only, stored by an earlier session: the whole start makes no record.
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences", false));
  registry.WriteInteger("Event_Log_Mode", 2);
  registry.CloseKey();
  const TProgramRun errorsOnly = runWithLog(output_ / "errors.json");
  EXPECT_EQ(errorsOnly.Status, 0) << errorsOnly.Errors;
  EXPECT_EQ(FileText(output_ / "errors.json"), "[]\n");
}

TEST_F(ExecutableTest, ALogThatCannotBeWrittenAtCloseIsReportedWithStatusOne) {
  const fs::path missing = output_ / "missing folder" / "log.csv";
  const TProgramRun run =
      Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual", "--screenshot",
                      (output_ / "window.png").string(), "--log", missing.string()});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find("Cannot save the event log to " + missing.string() + ": "), std::string::npos)
      << run.Errors;
  EXPECT_TRUE(fs::exists(output_ / "window.png"));
}

TEST_F(ExecutableTest, SigtermClosesTheWindowAsCloseWouldAndAtOnce) {
  const fs::path transcript = output_ / "session.txt";
  const fs::path script = output_ / "one.apdu";
  std::ofstream(script) << "00 A4 00 0C 02 3F 00\n";
  ChildProcess program(TESSALY_CONTROL_CENTER_PROGRAM,
                       {"--registry", hive_.File().string(), "--readers", "virtual", "--script",
                        script.string(), "--transcript", transcript.string()},
                       {kHeadless});
  // The window is up and the card answered once the transcript has its answer.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FileText(transcript).find("< ") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(FileText(transcript).find("< 90 00"), std::string::npos);

  const auto signalled = std::chrono::steady_clock::now();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(2));
}

TEST_F(ExecutableTest, AScreenshotThatCannotBeSavedIsReportedWithStatusOne) {
  const fs::path screenshot = output_ / "missing folder" / "window.png";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--readers", "virtual",
                                          "--screenshot", screenshot.string()});

  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find("Cannot save the screenshot to " + screenshot.string()), std::string::npos)
      << run.Errors;
}

// /dev/full takes every open and write and fails the flush, as a full disk does.
TEST_F(ExecutableTest, AScreenshotOntoAFullDiskIsReportedWithStatusOneAndTheReason) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const TProgramRun run = Run(kHeadless, {"--registry", hive_.File().string(), "--screenshot", "/dev/full"});

  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Errors.find("Cannot save the screenshot to /dev/full: No space left on device"),
            std::string::npos)
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

  const std::string noList = (hive_.File().parent_path() / "no-such-list.txt").string();
  const TProgramRun missingList =
      Run(kNoDisplay, {"--registry", hive_.File().string(), "--card-list", noList});
  EXPECT_EQ(missingList.Status, 1);
  EXPECT_NE(missingList.Errors.find(noList), std::string::npos) << missingList.Errors;

  // None of them touched the registry.
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  EXPECT_FALSE(registry.KeyExists("\\SOFTWARE\\Orvane"));
}

}  // namespace
}  // namespace tessaly::test

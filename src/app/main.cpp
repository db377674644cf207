// tessaly-control-center: builds the smart-card kernel, brings the settings up to date and shows the main
// window until it is closed.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/ApplicationObject.h"
#include "app/CommandLine.h"
#include "app/ControlCenter.h"
#include "app/QtErrorBox.h"
#include "atr/KnownCardList.h"
#include "device/CardInformation.h"
#include "device/Worker.h"
#include "platform/RegistryHive.h"
#include "platform/ToolOutput.h"

int main(int argc, char** argv) {
  using namespace tessaly;
  const std::string programName = "tessaly-control-center";
  CommandLine commandLine;
  try {
    commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const ECommandLineError& failure) {
    std::cerr << programName << ": " << failure.what() << "\n" << UsageText(programName);
    return 2;
  }
  if (commandLine.ShowHelp) {
    std::cout << UsageText(programName);
    return OutputWritten(std::cout, programName, std::cerr) ? 0 : 1;
  }
  if (commandLine.ShowVersion) {
    std::cout << kApplicationTitle << "\n";
    return OutputWritten(std::cout, programName, std::cerr) ? 0 : 1;
  }
  if (commandLine.RegistryFile) SetHiveFile(*commandLine.RegistryFile);
  if (commandLine.CardListFile) {
    try {
      UseKnownCardList(KnownCardList::Load(commandLine.CardListFile->string()));
    } catch (const EKnownCardListError& failure) {
      std::cerr << programName << ": " << failure.what() << "\n";
      return 1;
    }
  }
  // Read while the window is built, on the other processor where there is one.
  ReadKnownCardListAhead();

  SetApplicationProgramName(argc > 0 ? argv[0] : programName);
  InstallQtErrorBox();
  const int status =
      RunControlCenter({commandLine.ScreenshotFile, commandLine.Readers, commandLine.Page,
                        commandLine.ScriptFile, commandLine.TranscriptFile, commandLine.LogFile});
  ReleaseApplication();
  if (Worker::LeftBehind() > 0) {
    // A thread is still inside the smart-card library, waiting for a card or a service that does not
    // answer. Everything the program keeps is on disk already, so it ends here, without the static
    // destructors that would tear the library's state down under that thread's feet.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}

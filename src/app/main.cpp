// tessaly-control-center: builds the smart-card kernel, brings the settings up to date and shows the main
// window until it is closed.
#include <iostream>
#include <string>
#include <vector>

#include "app/ApplicationObject.h"
#include "app/CommandLine.h"
#include "app/ControlCenter.h"
#include "app/QtErrorBox.h"
#include "platform/RegistryHive.h"

int main(int argc, char** argv) {
  using namespace tessaly;
  const std::string programName = "tessaly-control-center";
  TCommandLine commandLine;
  try {
    commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const ECommandLineError& failure) {
    std::cerr << programName << ": " << failure.what() << "\n" << UsageText(programName);
    return 2;
  }
  if (commandLine.ShowHelp) {
    std::cout << UsageText(programName);
    return 0;
  }
  if (commandLine.ShowVersion) {
    std::cout << kApplicationTitle << "\n";
    return 0;
  }
  if (commandLine.RegistryFile) SetHiveFile(*commandLine.RegistryFile);

  SetApplicationProgramName(argc > 0 ? argv[0] : programName);
  InstallQtErrorBox();
  const int status = RunControlCenter(commandLine.ScreenshotFile, commandLine.Readers, commandLine.Page);
  ReleaseApplication();
  return status;
}

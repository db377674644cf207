#include "app/CommandLine.h"

#include <string_view>

namespace tessaly {
namespace {

// Accepts "--name FILE" and "--name=FILE"; index moves past what was consumed.
std::optional<std::string> FileOption(std::string_view name, const std::vector<std::string>& arguments,
                                      std::size_t& index) {
  const std::string& argument = arguments[index];
  if (argument == name) {
    if (index + 1 == arguments.size() || arguments[index + 1].empty()) {
      throw ECommandLineError("option " + std::string(name) + " needs a file name");
    }
    return arguments[++index];
  }
  const std::string prefix = std::string(name) + "=";
  if (argument.starts_with(prefix)) {
    if (argument.size() == prefix.size()) {
      throw ECommandLineError("option " + std::string(name) + " needs a file name");
    }
    return argument.substr(prefix.size());
  }
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "--help" || argument == "-h") {
      commandLine.ShowHelp = true;
    } else if (argument == "--version") {
      commandLine.ShowVersion = true;
    } else if (auto registry = FileOption("--registry", arguments, index)) {
      commandLine.RegistryFile = std::move(*registry);
    } else if (auto screenshot = FileOption("--screenshot", arguments, index)) {
      commandLine.ScreenshotFile = std::move(*screenshot);
    } else {
      throw ECommandLineError("unknown argument '" + argument + "'");
    }
  }
  return commandLine;
}

std::string UsageText(const std::string& programName) {
  return "Usage: " + programName +
         " [--registry FILE] [--screenshot FILE]\n"
         "       " +
         programName +
         " --version | --help\n"
         "\n"
         "Starts the Tessaly Easy Control Center: brings the component's settings up to date, then shows\n"
         "the main window until it is closed.\n"
         "\n"
         "  --registry FILE    use FILE as the registry hive (otherwise $TESSALY_REGISTRY, then\n"
         "                     $XDG_CONFIG_HOME/orvane/registry.db)\n"
         "  --screenshot FILE  once the main window is shown, save it as a PNG image to FILE and close it\n"
         "  --version          print the program's name and version and exit\n"
         "  --help             print this help and exit\n"
         "\n"
         "Without a display, run it under xvfb-run, or headless with QT_QPA_PLATFORM=offscreen.\n";
}

}  // namespace tessaly

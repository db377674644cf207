#include "app/CommandLine.h"

#include <algorithm>
#include <string_view>

#include "app/MainWindowPages.h"

namespace tessaly {
namespace {

// Accepts "--name VALUE" and "--name=VALUE"; index moves past what was consumed. what names the value in
// the message for a missing one.
std::optional<std::string> ValueOption(std::string_view name, std::string_view what,
                                       const std::vector<std::string>& arguments, std::size_t& index) {
  const std::string& argument = arguments[index];
  const std::string missing = "option " + std::string(name) + " needs " + std::string(what);
  if (argument == name) {
    if (index + 1 == arguments.size() || arguments[index + 1].empty()) throw ECommandLineError(missing);
    return arguments[++index];
  }
  const std::string prefix = std::string(name) + "=";
  if (argument.starts_with(prefix)) {
    if (argument.size() == prefix.size()) throw ECommandLineError(missing);
    return argument.substr(prefix.size());
  }
  return std::nullopt;
}

std::optional<std::string> FileOption(std::string_view name, const std::vector<std::string>& arguments,
                                      std::size_t& index) {
  return ValueOption(name, "a file name", arguments, index);
}

std::string CheckedPageName(const std::string& name) {
  const auto& names = PageNames();
  if (std::find(names.begin(), names.end(), name) != names.end()) return name;
  std::string known;
  for (const std::string& page : names) known += (known.empty() ? "" : ", ") + page;
  throw ECommandLineError("unknown page '" + name + "' (pages: " + known + ")");
}

ReaderSource ReaderSourceNamed(const std::string& name) {
  if (name == "auto") return ReaderSource::Auto;
  if (name == "pcsc") return ReaderSource::Pcsc;
  if (name == "virtual") return ReaderSource::Virtual;
  throw ECommandLineError("option --readers takes pcsc, virtual or auto, not '" + name + "'");
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
    } else if (auto cardList = FileOption("--card-list", arguments, index)) {
      commandLine.CardListFile = std::move(*cardList);
    } else if (auto script = FileOption("--script", arguments, index)) {
      commandLine.ScriptFile = std::move(*script);
    } else if (auto transcript = FileOption("--transcript", arguments, index)) {
      commandLine.TranscriptFile = std::move(*transcript);
    } else if (auto log = FileOption("--log", arguments, index)) {
      commandLine.LogFile = std::move(*log);
    } else if (auto page = ValueOption("--page", "a page name", arguments, index)) {
      commandLine.Page = CheckedPageName(*page);
    } else if (auto readers = ValueOption("--readers", "pcsc, virtual or auto", arguments, index)) {
      commandLine.Readers = ReaderSourceNamed(*readers);
    } else {
      throw ECommandLineError("unknown argument '" + argument + "'");
    }
  }
  return commandLine;
}

std::string UsageText(const std::string& programName) {
  return "Usage: " + programName +
         " [--registry FILE] [--page NAME] [--screenshot FILE] [--readers pcsc|virtual|auto]\n"
         "       [--card-list FILE] [--script FILE] [--transcript FILE] [--log FILE]\n"
         "       " +
         programName +
         " --version | --help\n"
         "\n"
         "Starts the Tessaly Easy Control Center: brings the component's settings up to date, then shows\n"
         "the main window until it is closed.\n"
         "\n"
         "  --registry FILE    use FILE as the registry hive (otherwise $TESSALY_REGISTRY, then\n"
         "                     $XDG_CONFIG_HOME/orvane/registry.db)\n"
         "  --page NAME        show the page NAME first: monitor (the default), log,\n"
         "                     preferences, exchange or cardtypes\n"
         "  --screenshot FILE  once the main window is shown and the readers have settled (and a script has\n"
         "                     run), save it as a PNG image to FILE and close it\n"
         "  --readers SOURCE   where the readers come from: pcsc (the system's smart-card service), virtual\n"
         "                     (a built-in reader holding a virtual card) or auto (the default: pcsc when\n"
         "                     the service answers, virtual otherwise)\n"
         "  --card-list FILE   name cards from FILE, a list of known cards in the format of pcsc-tools'\n"
         "                     smartcard_list.txt (otherwise the first one found where pcsc-tools'\n"
         "                     ATR_analysis looks, its updated copy in ~/.cache first)\n"
         "  --script FILE      once the first card is ready, run FILE on the Exchange page as its Run "
         "button\n"
         "                     would: one command per line in hexadecimal digits\n"
         "  --transcript FILE  write every exchange of the session to FILE as it happens, in scriptor's "
         "form\n"
         "                     (> command, < answer : meaning; a BER-TLV answer's decoded tree and the T=0\n"
         "                     steps as # comment lines)\n"
         "  --log FILE         when the window closes, write the kept log records to FILE as Save would:\n"
         "                     JSON for .json, JSON Lines for .jsonl, CSV otherwise\n"
         "  --version          print the program's name and version and exit\n"
         "  --help             print this help and exit\n"
         "\n"
         "Without a display, run it under xvfb-run, or headless with QT_QPA_PLATFORM=offscreen.\n";
}

}  // namespace tessaly

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/TessalyError.h"

namespace tessaly {

// Where the readers come from: the system's smart-card service, the virtual reader in process, or the
// service when it answers and the virtual reader otherwise.
enum class ReaderSource { Auto, Pcsc, Virtual };

// What the command line asks of the Control Center.
struct CommandLine {
  std::optional<std::filesystem::path> RegistryFile;
  std::optional<std::filesystem::path> ScreenshotFile;
  // Names cards from this list instead of the system's list of known cards.
  std::optional<std::filesystem::path> CardListFile;
  // A script the Exchange page runs once the first card is ready.
  std::optional<std::filesystem::path> ScriptFile;
  // Every exchange of the session is written there as it happens.
  std::optional<std::filesystem::path> TranscriptFile;
  // The kept log records are written there when the window closes.
  std::optional<std::filesystem::path> LogFile;
  // The page shown first; empty for the first page.
  std::string Page;
  ReaderSource Readers = ReaderSource::Auto;
  bool ShowVersion = false;
  bool ShowHelp = false;
};

class ECommandLineError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// Reads the arguments that follow the program name. Raises ECommandLineError for an unknown argument, an
// option whose file is missing, an unknown reader source or an unknown page.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText(const std::string& programName);

}  // namespace tessaly

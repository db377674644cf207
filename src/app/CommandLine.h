#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/TessalyError.h"

namespace tessaly {

// What the command line asks of the Control Center.
struct CommandLine {
  std::optional<std::filesystem::path> RegistryFile;
  std::optional<std::filesystem::path> ScreenshotFile;
  bool ShowVersion = false;
  bool ShowHelp = false;
};

class ECommandLineError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// Reads the arguments that follow the program name. Raises ECommandLineError for an unknown argument or an
// option whose file is missing.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText(const std::string& programName);

}  // namespace tessaly

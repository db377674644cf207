// tessaly-reg: exports, imports and registers through the registry accessor, for people without a
// registry editor. Exit codes: 0 success, 1 failure (an output that cannot be written too), 2 bad usage.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ComponentRegistration.h"
#include "platform/ProductInfo.h"
#include "platform/Registry.h"
#include "platform/ToolOutput.h"
#include "tools/RegExport.h"
#include "tools/RegImport.h"
#include "tools/RegKeyName.h"

namespace tessaly {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kBadUsage = 2;
// Bounds what an import reads, so that a device or a runaway file cannot take all memory.
constexpr std::size_t kMaxRegFileSize = 256 * 1024 * 1024;

constexpr const char* kUsage =
    "Usage: tessaly-reg [--registry FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  export [KEY] [-o FILE]        write KEY (default: every root key) as a REGEDIT4 .reg file\n"
    "  import FILE                   apply a .reg file, all of it or nothing\n"
    "  register-component [FILE]     record the component's file under HKEY_CLASSES_ROOT\n"
    "\n"
    "Options:\n"
    "  --registry FILE   the hive file to use (default: $TESSALY_REGISTRY, else\n"
    "                    $XDG_CONFIG_HOME/orvane/registry.db)\n"
    "  --help            this text; COMMAND --help tells more about a command\n"
    "  --version         the program's name and version\n";

constexpr const char* kExportUsage =
    "Usage: tessaly-reg [--registry FILE] export [KEY] [-o FILE]\n"
    "\n"
    "Writes KEY and everything below it as a REGEDIT4 .reg file, to standard output unless -o names a\n"
    "file. KEY is a full key name such as HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane (HKLM, HKCR and HKCU are\n"
    "accepted); without KEY, every root key is written.\n";

constexpr const char* kImportUsage =
    "Usage: tessaly-reg [--registry FILE] import FILE\n"
    "\n"
    "Applies a .reg file (REGEDIT4 or Windows Registry Editor Version 5.00, UTF-8): [KEY] creates a key,\n"
    "[-KEY] deletes it with everything below it, \"Name\"=\"text\" and \"Name\"=dword:XXXXXXXX write a "
    "value,\n"
    "@= the default value, \"Name\"=- deletes one. Nothing is changed when any line is wrong.\n";

constexpr const char* kRegisterUsage =
    "Usage: tessaly-reg [--registry FILE] register-component [FILE]\n"
    "\n"
    "Writes the absolute path of FILE, the file that holds the component's kernel, as the default value\n"
    "of HKEY_CLASSES_ROOT\\%s, where the Control Center looks for it at start-up to find its folder.\n"
    "Default FILE: " TESSALY_DEFAULT_COMPONENT_FILE "\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure of the tool's own, told as "tessaly-reg: <message>" with exit code 1.
class ToolFailure : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

struct Command {
  std::string Name;
  std::vector<std::string> Arguments;
  bool Help = false;
  bool Version = false;
};

bool IsHelp(const std::string& argument) {
  return argument == "--help" || argument == "-h";
}

// Takes --registry wherever it stands; the first other word is the command.
Command ParseCommandLine(int argc, char** argv) {
  Command command;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--registry" || argument.starts_with("--registry=")) {
      const bool joined = argument.size() > std::string_view("--registry").size();
      if (!joined && ++i == argc) throw UsageError("--registry needs a file name");
      const std::string file = joined ? argument.substr(11) : argv[i];
      // An empty name would silently stand for the default hive.
      if (file.empty()) throw UsageError("--registry needs a file name");
      SetHiveFile(file);
    } else if (IsHelp(argument)) {
      command.Help = true;
    } else if (argument == "--version") {
      command.Version = true;
    } else if (command.Name.empty()) {
      if (argument.starts_with("-")) throw UsageError("unknown option " + argument);
      command.Name = argument;
    } else {
      command.Arguments.push_back(argument);
    }
  }
  return command;
}

std::string RegisterUsage() {
  std::string text = kRegisterUsage;
  text.replace(text.find("%s"), 2, kComponentFileKey);
  return text;
}

std::shared_ptr<RegistryHive> Hive() {
  return OpenProcessHive();
}

// Writing the export over the hive (or its journal files) would destroy what is being read.
void RefuseHiveAsOutput(const std::filesystem::path& output) {
  std::error_code error;
  const auto hive = HiveFile();
  for (const auto* suffix : {"", "-wal", "-shm"}) {
    auto file = hive;
    file += suffix;
    if (std::filesystem::equivalent(output, file, error)) {
      throw ToolFailure("the output file " + output.string() + " is the hive file " + file.string() +
                        " itself; choose another one");
    }
  }
}

// The file's text, at most kMaxRegFileSize bytes of it.
std::string ReadRegFile(const std::string& file) {
  std::error_code error;
  if (std::filesystem::is_directory(file, error))
    throw ToolFailure("cannot read " + file + ": it is a folder");
  const auto tooLarge = [&] {
    return ToolFailure("cannot import " + file + ": it is larger than 256 MiB, more than any registry file");
  };
  if (std::filesystem::is_regular_file(file, error) &&
      std::filesystem::file_size(file, error) > kMaxRegFileSize) {
    throw tooLarge();
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ToolFailure("cannot read " + file + " (" + std::strerror(errno) + ")");
  std::string text;
  std::vector<char> chunk(64 * 1024);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxRegFileSize) throw tooLarge();
  }
  if (in.bad()) throw ToolFailure("cannot read " + file + ": a read error");
  return text;
}

int Export(const std::vector<std::string>& arguments) {
  std::optional<std::string> keyText;
  std::optional<std::string> outputFile;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "-o") {
      if (++i == arguments.size() || outputFile) throw UsageError("-o needs one file name");
      outputFile = arguments[i];
    } else if (!keyText && !arguments[i].starts_with("-")) {
      keyText = arguments[i];
    } else {
      throw UsageError("unexpected argument " + arguments[i]);
    }
  }
  std::vector<RegKeyName> keys;
  if (keyText) {
    const auto key = ParseKeyName(*keyText);
    if (!key) throw UsageError("not a key name: " + *keyText);
    keys.push_back(*key);
  } else {
    for (const auto root : {RootKey::ClassesRoot, RootKey::CurrentUser, RootKey::LocalMachine}) {
      keys.push_back(RegKeyName{root, ""});
    }
  }

  if (outputFile) RefuseHiveAsOutput(*outputFile);
  // Exporting reads only: a missing or empty file is reported, never made a hive.
  auto hive = OpenExistingProcessHive();
  TRegistry reg(hive);
  std::ostringstream text;
  text << "REGEDIT4\n\n";
  for (const auto& key : keys) {
    if (!ExportRegKey(reg, key, text, std::cerr)) {
      std::cerr << "tessaly-reg: the key " << FullKeyName(key) << " does not exist\n";
      return kFailure;
    }
  }
  if (!outputFile) {
    std::cout << text.str();
    return kSuccess;
  }
  std::ofstream out(*outputFile, std::ios::binary);
  out << text.str();
  out.close();
  if (!out) {
    std::cerr << "tessaly-reg: cannot write " << *outputFile << '\n';
    return kFailure;
  }
  return kSuccess;
}

int Import(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) throw UsageError("import needs exactly one file name");
  const auto& file = arguments.front();
  const std::string text = ReadRegFile(file);
  std::vector<RegChange> changes;
  try {
    changes = ParseRegFile(text);
  } catch (const ERegFileError& error) {
    std::cerr << file << ':' << error.Line() << ": " << error.what() << "; nothing was imported\n";
    return kFailure;
  }
  auto hive = Hive();
  TRegistry reg(hive);
  try {
    ApplyRegChanges(*hive, reg, changes);
  } catch (const ERegFileError& error) {
    std::cerr << file << ':' << error.Line() << ": " << error.what() << "; nothing was imported\n";
    return kFailure;
  } catch (const ERegistryException& error) {
    // The final commit failed: the run of changes was dropped as a whole.
    std::cerr << "tessaly-reg: " << error.what() << "; nothing was imported\n";
    return kFailure;
  }
  return kSuccess;
}

int RegisterComponent(const std::vector<std::string>& arguments) {
  if (arguments.size() > 1) throw UsageError("register-component takes at most one file name");
  if (!arguments.empty() && arguments.front().empty()) throw UsageError("the component's file name is empty");
  const std::filesystem::path file =
      std::filesystem::absolute(arguments.empty() ? TESSALY_DEFAULT_COMPONENT_FILE : arguments.front());
  if (!std::filesystem::is_regular_file(file)) {
    std::cerr << "tessaly-reg: the component's file " << file.string() << " does not exist\n";
    return kFailure;
  }
  TRegistry reg(Hive());
  reg.SetRootKey(RootKey::ClassesRoot);
  if (!reg.OpenKey(kComponentFileKey, true)) {
    std::cerr << "tessaly-reg: cannot create HKEY_CLASSES_ROOT\\" << kComponentFileKey << '\n';
    return kFailure;
  }
  reg.WriteString("", file.lexically_normal().string());
  return kSuccess;
}

int Run(int argc, char** argv) {
  const auto command = ParseCommandLine(argc, argv);
  if (command.Version) return std::cout << VersionLine("tessaly-reg") << '\n', kSuccess;
  if (command.Name.empty()) {
    if (!command.Help) throw UsageError("no command given");
    std::cout << kUsage;
    return kSuccess;
  }
  if (command.Name == "export") {
    if (command.Help) return std::cout << kExportUsage, kSuccess;
    return Export(command.Arguments);
  }
  if (command.Name == "import") {
    if (command.Help) return std::cout << kImportUsage, kSuccess;
    return Import(command.Arguments);
  }
  if (command.Name == "register-component") {
    if (command.Help) return std::cout << RegisterUsage(), kSuccess;
    return RegisterComponent(command.Arguments);
  }
  throw UsageError("unknown command " + command.Name);
}

// Run, with its failures said on standard error and turned into the exit status.
int RunReportingFailures(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "tessaly-reg: " << error.what() << "\n\n" << kUsage;
    return kBadUsage;
  } catch (const std::exception& error) {
    std::cerr << "tessaly-reg: " << error.what() << '\n';
    return kFailure;
  }
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  const int status = tessaly::RunReportingFailures(argc, argv);
  return tessaly::OutputWritten(std::cout, "tessaly-reg", std::cerr) ? status : tessaly::kFailure;
}

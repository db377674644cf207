// tessaly-reg: exports, imports and registers through the registry accessor, for people without a
// registry editor. Exit codes: 0 success, 1 failure, 2 bad usage.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "RegExport.h"
#include "RegImport.h"
#include "RegKeyName.h"
#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"

namespace tessaly {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kBadUsage = 2;

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
    "  --help            this text; COMMAND --help tells more about a command\n";

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

struct Command {
  std::string Name;
  std::vector<std::string> Arguments;
  bool Help = false;
};

bool IsHelp(const std::string& argument) {
  return argument == "--help" || argument == "-h";
}

// Takes --registry wherever it stands; the first other word is the command.
Command ParseCommandLine(int argc, char** argv) {
  Command command;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--registry") {
      if (++i == argc) throw UsageError("--registry needs a file name");
      SetHiveFile(argv[i]);
    } else if (argument.starts_with("--registry=")) {
      SetHiveFile(argument.substr(11));
    } else if (IsHelp(argument)) {
      command.Help = true;
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

  auto hive = Hive();
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
    std::cout << text.str() << std::flush;
    return std::cout ? kSuccess : kFailure;
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
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "tessaly-reg: cannot read " << file << '\n';
    return kFailure;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  try {
    const auto changes = ParseRegFile(text);
    auto hive = Hive();
    TRegistry reg(hive);
    ApplyRegChanges(*hive, reg, changes);
  } catch (const ERegFileError& error) {
    std::cerr << file << ':' << error.Line() << ": " << error.what() << "; nothing was imported\n";
    return kFailure;
  }
  return kSuccess;
}

int RegisterComponent(const std::vector<std::string>& arguments) {
  if (arguments.size() > 1) throw UsageError("register-component takes at most one file name");
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

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
  try {
    return tessaly::Run(argc, argv);
  } catch (const tessaly::UsageError& error) {
    std::cerr << "tessaly-reg: " << error.what() << "\n\n" << tessaly::kUsage;
    return tessaly::kBadUsage;
  } catch (const std::exception& error) {
    std::cerr << "tessaly-reg: " << error.what() << '\n';
    return tessaly::kFailure;
  }
}

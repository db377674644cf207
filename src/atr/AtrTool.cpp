#include "atr/AtrTool.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <optional>

#include "atr/AtrInfoLines.h"
#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kNameWidth = 30;

constexpr const char* kUsage =
    "Usage: tessaly-atr [--card-list FILE] [ATR...]\n"
    "Prints what each answer-to-reset says: its interface bytes, protocols, historical bytes and check "
    "byte,\n"
    "and what the list of known cards calls it. An ATR is hex text; quote it when it has blanks, or give "
    "its\n"
    "bytes as separate arguments. Without ATRs, reads one ATR per line from standard input.\n"
    "  --card-list FILE  the list of known cards (default: /usr/share/pcsc/smartcard_list.txt, when "
    "present)\n"
    "  --help            shows this text\n"
    "  --version         shows the program's name and version\n"
    "Exit code: 0, 1 when an ATR is malformed, 2 on bad usage or when the --card-list FILE is unreadable.\n";

struct Options {
  std::optional<std::string> CardList;
  std::vector<std::string> Atrs;
  bool Help = false;
  bool Version = false;
};

bool IsHexByte(const std::string& text) {
  return text.size() == 2 &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(c) != 0; });
}

// Bytes given as separate arguments ("3B 02 14 50") make one ATR.
std::vector<std::string> JoinSingleBytes(std::vector<std::string> atrs) {
  if (atrs.size() < 2 || !std::all_of(atrs.begin(), atrs.end(), IsHexByte)) return atrs;
  std::string joined;
  for (const std::string& byte : atrs) joined += (joined.empty() ? "" : " ") + byte;
  return {joined};
}

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::ostream& err) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help") {
      options.Help = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument == "--card-list") {
      if (i + 1 == arguments.size()) {
        err << "tessaly-atr: --card-list needs a file name\n";
        return std::nullopt;
      }
      options.CardList = arguments[++i];
    } else if (argument.starts_with("--")) {
      err << "tessaly-atr: unknown option " << argument << "\n";
      return std::nullopt;
    } else {
      options.Atrs.push_back(argument);
    }
  }
  options.Atrs = JoinSingleBytes(std::move(options.Atrs));
  return options;
}

// A list the user names must load; a broken system list only costs the descriptions.
std::optional<KnownCardList> LoadCardList(const Options& options, std::ostream& err) {
  if (options.CardList) return KnownCardList::Load(*options.CardList);
  try {
    return KnownCardList::LoadDefault();
  } catch (const EKnownCardListError& error) {
    err << "tessaly-atr: " << error.what() << "; the analysis goes on without card descriptions\n";
    return std::nullopt;
  }
}

void PrintLines(const std::vector<std::string>& lines, std::ostream& out) {
  for (const std::string& line : lines) {
    const std::size_t separator = line.find('=');
    if (separator == std::string::npos) {
      out << line << "\n";
      continue;
    }
    const std::string name = line.substr(0, separator);
    out << "  " << name << std::string(kNameWidth - std::min(kNameWidth - 1, name.size()), ' ')
        << line.substr(separator + 1) << "\n";
  }
}

// Prints one block; returns false when the ATR is malformed.
bool PrintAnalysis(const std::string& text, const KnownCardList* knownCards, bool first, std::ostream& out) {
  const ParsedAtr atr = ParseAtr(text);
  if (!first) out << "\n";
  out << text << "\n";
  PrintLines(AtrInfoLines(atr, knownCards), out);
  return atr.WellFormed();
}

std::string Trimmed(const std::string& line) {
  const std::size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string::npos) return {};
  return line.substr(start, line.find_last_not_of(" \t\r") - start + 1);
}

}  // namespace

int RunAtrTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
               std::ostream& err) {
  const std::optional<Options> options = ParseOptions(arguments, err);
  if (!options) {
    err << kUsage;
    return kExitUsage;
  }
  if (options->Help) {
    out << kUsage;
    return 0;
  }
  if (options->Version) {
    out << VersionLine("tessaly-atr") << "\n";
    return 0;
  }
  std::optional<KnownCardList> knownCards;
  try {
    knownCards = LoadCardList(*options, err);
  } catch (const EKnownCardListError& error) {
    err << "tessaly-atr: " << error.what() << "\n";
    return kExitUsage;
  }
  const KnownCardList* list = knownCards ? &*knownCards : nullptr;
  bool allWellFormed = true;
  bool first = true;
  auto analyse = [&](const std::string& text) {
    allWellFormed = PrintAnalysis(text, list, first, out) && allWellFormed;
    first = false;
  };
  if (!options->Atrs.empty()) {
    for (const std::string& atr : options->Atrs) analyse(Trimmed(atr));
  } else {
    for (std::string line; std::getline(in, line);) {
      if (!Trimmed(line).empty()) analyse(Trimmed(line));
    }
  }
  return allWellFormed ? 0 : kExitMalformed;
}

}  // namespace tessaly

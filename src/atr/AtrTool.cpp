#include "atr/AtrTool.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "atr/AtrInfoLines.h"
#include "atr/AtrJson.h"
#include "platform/HexText.h"
#include "platform/ProductInfo.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kNameWidth = 30;

constexpr const char* kUsage =
    "Usage: tessaly-atr [--card-list FILE] [--json] [--] [ATR...]\n"
    "       tessaly-atr -h | --help | -V | --version\n"
    "Prints what each answer-to-reset says: its interface bytes, protocols, historical bytes and check "
    "byte,\n"
    "and what the list of known cards calls it. An ATR is hex text (\"3B 02 14 50\", \"3b:02:14:50\", "
    "\"3B021450\",\n"
    "\"0x3B 0x02 ...\"). Arguments that each begin with TS and T0 are analysed one by one; otherwise "
    "they\n"
    "are joined into one ATR. Without ATRs, reads one ATR per line from standard input (\"#\" starts a "
    "comment).\n"
    "  --card-list FILE  the list of known cards (default: the first smartcard_list.txt found where\n"
    "                    pcsc-tools' ATR_analysis looks: $XDG_CACHE_HOME or ~/.cache, "
    "~/.smartcard_list.txt,\n"
    "                    /usr/local/pcsc, /usr/share/pcsc, /usr/local/share/pcsc)\n"
    "  --json            one JSON object per ATR and line: {\"atr\", \"wellFormed\", \"analysis\"}\n"
    "  --                the arguments after it are ATRs\n"
    "  -h, --help        shows this text\n"
    "  -V, --version     shows the program's version\n"
    "Exit code: 0, 1 when an ATR is malformed, 2 on bad usage, when the --card-list FILE is unreadable or\n"
    "when the output cannot be written.\n";

struct Options {
  std::optional<std::string> CardList;
  std::vector<std::string> Atrs;
  bool Json = false;
  bool Help = false;
  bool Version = false;
};

// An argument that begins an ATR of its own: TS (3B or 3F) and T0.
bool StartsAnAtr(const std::string& text) {
  const ParsedAtr atr = ParseAtr(text);
  return atr.T0() && (atr.Bytes[0] == 0x3B || atr.Bytes[0] == 0x3F);
}

// "3B 02 14 50" "3B 8F ..." are two ATRs; "3B" "02" "14" "50" or "3B02" "1450" make one.
std::vector<std::string> JoinUnlessEachStartsAnAtr(std::vector<std::string> atrs) {
  if (atrs.size() < 2 || std::all_of(atrs.begin(), atrs.end(), StartsAnAtr)) return atrs;
  std::string joined;
  for (const std::string& part : atrs) joined += (joined.empty() ? "" : " ") + part;
  return {joined};
}

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::ostream& err) {
  Options options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      options.Atrs.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--version" || argument == "-V") {
      options.Version = true;
    } else if (argument == "--json") {
      options.Json = true;
    } else if (argument == "--card-list") {
      if (i + 1 == arguments.size()) {
        err << "tessaly-atr: --card-list needs a file name\n";
        return std::nullopt;
      }
      options.CardList = arguments[++i];
    } else {
      err << "tessaly-atr: unknown option " << argument << "\n";
      return std::nullopt;
    }
  }
  options.Atrs = JoinUnlessEachStartsAnAtr(std::move(options.Atrs));
  return options;
}

// A list the user names must load; a broken list found by the search only costs the descriptions.
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

// Text the bytes could be read from is shown in one form, whatever separators it was written with.
std::string ShownAtr(const std::string& text, const ParsedAtr& atr) {
  return atr.TextUnreadable ? text : HexText(atr.Bytes);
}

// Prints one block, or one JSON line; returns false when the ATR is malformed.
bool PrintAnalysis(const std::string& text, const KnownCardList* knownCards, bool json, bool first,
                   std::ostream& out) {
  const ParsedAtr atr = ParseAtr(text);
  const std::vector<std::string> lines = AtrInfoLines(atr, knownCards, KnownCardNotes::ListAndSubmission);
  if (json) {
    out << AtrJsonLine(ShownAtr(text, atr), atr, lines) << "\n";
  } else {
    out << (first ? "" : "\n") << "ATR: " << ShownAtr(text, atr) << "\n";
    PrintLines(lines, out);
  }
  return atr.WellFormed();
}

// Blanks around an ATR, and the CR that lines of a CR LF file keep.
std::string Trimmed(std::string_view text) {
  return std::string(Trim(text, " \t\r"));
}

// A line of standard input without its comment.
std::string AtrTextOfLine(const std::string& line) {
  return Trimmed(std::string_view(line).substr(0, line.find('#')));
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
    allWellFormed = PrintAnalysis(text, list, options->Json, first, out) && allWellFormed;
    first = false;
  };
  if (!options->Atrs.empty()) {
    for (const std::string& atr : options->Atrs) analyse(Trimmed(atr));
  } else {
    for (std::string line; std::getline(in, line);) {
      const std::string text = AtrTextOfLine(line);
      if (!text.empty()) analyse(text);
    }
  }
  return allWellFormed ? 0 : kExitMalformed;
}

}  // namespace tessaly

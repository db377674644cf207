#include "tlv/TlvTool.h"

#include <iostream>
#include <optional>

#include "platform/HexText.h"
#include "platform/ProductInfo.h"
#include "platform/TextRules.h"
#include "tlv/TlvJson.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;
constexpr std::string_view kSeparators = " \t:";

constexpr const char* kUsage =
    "Usage: tessaly-tlv [--json] [HEX...]\n"
    "       tessaly-tlv --version | --help\n"
    "Decodes BER-TLV data objects (ISO/IEC 7816-4, EMV) and prints them as an indented tree with the names\n"
    "of their tags. The arguments together are one list of objects in hex: two digits a byte, with blanks,\n"
    "colons or nothing between bytes. Without arguments, reads one list of objects per line from standard\n"
    "input.\n"
    "  --json     prints each list as one line of JSON\n"
    "  --version  prints the program's name and version\n"
    "  --help     shows this text\n"
    "Exit code: 0 when every list is well-formed BER-TLV, 1 when one is not (the output says what is wrong\n"
    "and at which offset), 2 on bad usage or when the output cannot be written.\n";

struct Options {
  std::vector<std::string> Hex;
  bool Json = false;
  bool Help = false;
  bool Version = false;
};

std::optional<Options> ParseOptions(const std::vector<std::string>& arguments, std::ostream& err) {
  Options options;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      options.Json = true;
    } else if (argument == "--help") {
      options.Help = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument.starts_with("-")) {
      err << "tessaly-tlv: unknown option " << argument << "\n";
      return std::nullopt;
    } else {
      options.Hex.push_back(argument);
    }
  }
  return options;
}

// Prints one input as text or JSON; returns false when it is not well-formed TLV.
class InputPrinter {
 public:
  InputPrinter(bool json, std::ostream& out) : json_(json), out_(out) {}

  bool Print(std::string_view text) {
    const HexReading hex = ReadHexBytes(TrimControls(text), kSeparators);
    if (!hex.Complete()) {
      Begin();
      out_ << (json_ ? UnreadableInputJson(hex.Problem) : "Problem: " + hex.Problem) << "\n";
      return false;
    }
    const TlvTree tree = DecodeTlv(hex.Bytes);
    Begin();
    if (json_) {
      out_ << TlvTreeJson(tree) << "\n";
    } else {
      for (const std::string& line : TlvTreeLines(tree)) out_ << line << "\n";
    }
    return tree.WellFormed();
  }

 private:
  // Text blocks are set apart by a blank line; JSON documents are one a line.
  void Begin() {
    if (printed_ && !json_) out_ << "\n";
    printed_ = true;
  }

  bool json_;
  std::ostream& out_;
  bool printed_ = false;
};

std::string Joined(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : " ") + part;
  return joined;
}

}  // namespace

int RunTlvTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
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
    out << VersionLine("tessaly-tlv") << "\n";
    return 0;
  }
  InputPrinter printer(options->Json, out);
  if (!options->Hex.empty()) return printer.Print(Joined(options->Hex)) ? 0 : kExitMalformed;
  bool allWellFormed = true;
  bool anyInput = false;
  for (std::string line; std::getline(in, line);) {
    if (TrimControls(line).empty()) continue;
    anyInput = true;
    allWellFormed = printer.Print(line) && allWellFormed;
  }
  if (!anyInput) err << "tessaly-tlv: no hex on standard input\n";
  return allWellFormed && anyInput ? 0 : kExitMalformed;
}

}  // namespace tessaly

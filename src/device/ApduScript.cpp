#include "device/ApduScript.h"

#include <algorithm>
#include <string_view>

#include "device/ApduText.h"
#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr char kNoteMark = ';';
constexpr char kCommentMark = '#';
constexpr char kCommandMark = '>';
constexpr char kAnswerMark = '<';
constexpr char kContinuationMark = '\\';
constexpr std::string_view kResetLine = "reset";
constexpr std::string_view kExitLine = "exit";

// The line without its note and the blanks around what is left.
std::string_view Content(std::string_view line) {
  return TrimControls(line.substr(0, line.find(kNoteMark)));
}

bool IsComment(std::string_view line) {
  return line.starts_with(kCommentMark);
}

bool IsTranscript(const std::vector<std::string>& lines) {
  return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return TrimLeadingControls(line).starts_with(kCommandMark);
  });
}

[[noreturn]] void Refuse(int lineNumber, const std::string& message) {
  throw EApduScriptError("Line " + std::to_string(lineNumber) + ": " + message);
}

ApduScriptLine CommandLine(int lineNumber, std::string_view text) {
  try {
    std::vector<std::uint8_t> command = ParseHexBytes(std::string(text));
    CheckCommandLength(command);
    return {lineNumber, ApduScriptStep::Send, std::move(command)};
  } catch (const EDeviceError& failure) {
    Refuse(lineNumber, failure.what());
  }
}

std::vector<ApduScriptLine> ParseScript(const std::vector<std::string>& lines) {
  std::vector<ApduScriptLine> script;
  // A command written over several lines, and the line it began in.
  std::string pending;
  int pendingLine = 0;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const int lineNumber = static_cast<int>(index) + 1;
    const std::string_view whole = TrimLeadingControls(lines[index]);
    if (IsComment(whole)) continue;
    std::string_view text = Content(whole);
    if (text.empty()) continue;
    if (pending.empty() && EqualsIgnoringAsciiCase(text, kExitLine)) break;
    if (pending.empty() && EqualsIgnoringAsciiCase(text, kResetLine)) {
      script.push_back({lineNumber, ApduScriptStep::Reset, {}});
      continue;
    }
    if (pending.empty()) pendingLine = lineNumber;
    const bool continued = text.ends_with(kContinuationMark);
    if (continued) text.remove_suffix(1);
    pending.append(text).append(" ");
    if (continued) continue;
    script.push_back(CommandLine(pendingLine, pending));
    pending.clear();
  }
  if (!pending.empty()) script.push_back(CommandLine(pendingLine, pending));
  return script;
}

std::vector<ApduScriptLine> ParseTranscript(const std::vector<std::string>& lines) {
  std::vector<ApduScriptLine> script;
  bool inAnswer = false;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const int lineNumber = static_cast<int>(index) + 1;
    const std::string_view text = TrimLeadingControls(lines[index]);
    if (text.empty() || IsComment(text)) continue;
    if (text.starts_with(kCommandMark)) {
      inAnswer = false;
      const std::string_view command = Content(text.substr(1));
      if (EqualsIgnoringAsciiCase(command, kResetLine)) {
        script.push_back({lineNumber, ApduScriptStep::Reset, {}});
      } else {
        script.push_back(CommandLine(lineNumber, command));
      }
    } else if (text.starts_with(kAnswerMark)) {
      inAnswer = true;
    } else if (!inAnswer) {
      Refuse(lineNumber, "in a transcript, commands stand only in the lines that begin with \">\"");
    }
  }
  return script;
}

}  // namespace

std::vector<ApduScriptLine> ParseApduScript(const std::vector<std::string>& lines) {
  return IsTranscript(lines) ? ParseTranscript(lines) : ParseScript(lines);
}

std::string ApduScriptLineText(const ApduScriptLine& line) {
  return line.Step == ApduScriptStep::Reset ? std::string(kResetLine) : HexText(line.Command);
}

std::string ApduScriptText(const std::vector<ApduScriptLine>& steps) {
  std::string text;
  for (const ApduScriptLine& step : steps) text += ApduScriptLineText(step) + "\n";
  return text;
}

bool AnswerLetsScriptGoOn(std::span<const std::uint8_t> response) {
  if (response.size() < 2) return false;
  const std::uint8_t sw1 = response[response.size() - 2];
  const std::uint8_t sw2 = response.back();
  return (sw1 == 0x90 && sw2 == 0x00) || sw1 == 0x61;
}

}  // namespace tessaly

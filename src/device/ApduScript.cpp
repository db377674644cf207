#include "device/ApduScript.h"

#include "device/ApduText.h"

namespace tessaly {
namespace {

constexpr char kNoteMark = ';';

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::vector<ApduScriptLine> ParseApduScript(const std::vector<std::string>& lines) {
  std::vector<ApduScriptLine> script;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string text = lines[index].substr(0, lines[index].find(kNoteMark));
    if (IsBlank(text)) continue;
    const int lineNumber = static_cast<int>(index) + 1;
    try {
      std::vector<std::uint8_t> command = ParseHexBytes(text);
      CheckCommandLength(command);
      script.push_back({lineNumber, std::move(command)});
    } catch (const EDeviceError& failure) {
      throw EApduScriptError("Line " + std::to_string(lineNumber) + ": " + failure.what());
    }
  }
  return script;
}

std::string ApduScriptLineText(const ApduScriptEntry& entry) {
  std::string text = HexBytes(entry.Command, true);
  if (!entry.Note.empty()) text += "  ; " + entry.Note;
  return text;
}

std::string WriteApduScript(const std::vector<ApduScriptEntry>& entries) {
  std::string text = "; Tessaly Easy APDU script: one command per line, notes after \";\"\r\n";
  for (const ApduScriptEntry& entry : entries) text += ApduScriptLineText(entry) + "\r\n";
  return text;
}

bool AnswerLetsScriptGoOn(std::span<const std::uint8_t> response) {
  if (response.size() < 2) return false;
  const std::uint8_t sw1 = response[response.size() - 2];
  const std::uint8_t sw2 = response.back();
  return (sw1 == 0x90 && sw2 == 0x00) || sw1 == 0x61;
}

}  // namespace tessaly

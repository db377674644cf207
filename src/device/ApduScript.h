#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/PcscError.h"

namespace tessaly {

// What a line of a script asks for: a command sent to the card, or a warm reset of the card.
enum class ApduScriptStep { Send, Reset };

struct ApduScriptLine {
  int LineNumber = 0;  // 1 for the first line of the text
  ApduScriptStep Step = ApduScriptStep::Send;
  std::vector<std::uint8_t> Command;  // empty for a reset
};

// A script refused as a whole, so that no half of it runs; the message names the line.
class EApduScriptError : public EDeviceError {
 public:
  using EDeviceError::EDeviceError;
};

// The steps of a script, read as scriptor reads one and as this program wrote them before: one command per
// line in hexadecimal digits (blanks allowed); lines that begin with "#" are comments, text from ";" to the
// end of a line is a note, and empty lines are skipped; a line "reset" resets the card, a line "exit" ends
// the script, and a line that ends in "\" goes on in the next.
//
// A transcript (a "> " line for each command, a "< " line and the lines after it for its answer, as
// scriptor and this program write them) reads as the script of its commands: only its "> " lines count,
// "> RESET" as a reset. The answers are skipped, as scriptor's continuation lines of a long answer hold bytes
// that would otherwise read as commands; any other line is refused.
//
// Raises EApduScriptError for the first line that is not hexadecimal, has an odd number of digits or is no
// command.
std::vector<ApduScriptLine> ParseApduScript(const std::vector<std::string>& lines);

// One line of a script, without its line end: the command's bytes, or "reset".
std::string ApduScriptLineText(const ApduScriptLine& line);

// The script of the steps, each line ending in "\n": what scriptor runs as it is.
std::string ApduScriptText(const std::vector<ApduScriptLine>& steps);

// Whether a script goes on after this answer: 9000, or 61xx (more data the card still holds).
bool AnswerLetsScriptGoOn(std::span<const std::uint8_t> response);

}  // namespace tessaly

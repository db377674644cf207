#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/PcscError.h"

namespace tessaly {

// A script of commands, one per line in hexadecimal digits (blanks allowed). Text from ";" to the end of a
// line is a note; empty lines and lines holding only a note are skipped.
struct ApduScriptLine {
  int LineNumber = 0;  // 1 for the first line of the text
  std::vector<std::uint8_t> Command;
};

// One command to write, with the note written after it (the answer, say); an empty note writes none.
struct ApduScriptEntry {
  std::vector<std::uint8_t> Command;
  std::string Note;
};

// A script refused as a whole, so that no half of it runs; the message names the line.
class EApduScriptError : public EDeviceError {
 public:
  using EDeviceError::EDeviceError;
};

// The commands of a script's lines. Raises EApduScriptError for the first line that is not hexadecimal,
// has an odd number of digits or is no command.
std::vector<ApduScriptLine> ParseApduScript(const std::vector<std::string>& lines);

// One line of a script, without its line end: the command's bytes, then its note after "  ; ".
std::string ApduScriptLineText(const ApduScriptEntry& entry);

// The script text: a heading note, then one line per command with its note; every line ends in CR LF.
std::string WriteApduScript(const std::vector<ApduScriptEntry>& entries);

// Whether a script goes on after this answer: 9000, or 61xx (more data the card still holds).
bool AnswerLetsScriptGoOn(std::span<const std::uint8_t> response);

}  // namespace tessaly

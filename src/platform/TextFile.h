#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/TextRules.h"

namespace tessaly {

// Splits 8-bit text into lines: a line ends at CR, at LF or at CR LF, and a line end at the very end of
// the text starts no further line. A NUL ends the text.
std::vector<std::string> SplitTextLines(std::string_view text);

// Splits as above into lines, whose strings are reused: a text of the same shape as the last one takes no
// new memory.
void SplitTextLines(std::string_view text, std::vector<std::string>& lines);

// Reads the file (8-bit name, a full path) and splits its text as SplitTextLines does. Reading stops at
// the first NUL. A UTF-8 byte-order mark at the start, which editors add unseen, is not part of the text:
// it would otherwise hide the first line's leading character. Throws ETessalyError when the file is missing,
// is no regular file, cannot be read, or holds more than 64 MiB before its first NUL.
std::vector<std::string> ReadTextFileLines(const std::string& fileName);

// The text of a file held once, its lines read as views of it while they are walked: a file of many short
// lines takes no more memory than its own size.
class TextFileLines {
 public:
  LineRange::Iterator begin() const { return LineRange(text_).begin(); }
  LineRange::Iterator end() const { return LineRange(text_).end(); }
  bool empty() const { return text_.empty(); }
  // Forgets the text but keeps its room for the next read.
  void clear() { text_.clear(); }

 private:
  friend void ReadTextFileLines(const std::string& fileName, TextFileLines& lines);
  std::string text_;
};

// Reads the file into lines as ReadTextFileLines above reads it, reusing the room of the last text. A file
// that cannot be read leaves lines empty.
void ReadTextFileLines(const std::string& fileName, TextFileLines& lines);

// Writes the text, byte for byte, into a new file (8-bit name, a full path) and reports true; reports false
// and leaves everything as it is when anything of that name exists already, a folder or a dangling link
// included. Throws ETessalyError when the file cannot be written, after removing what it wrote of it, so that
// no half-written file passes for a complete one later.
bool WriteNewTextFile(const std::string& fileName, std::string_view text);

}  // namespace tessaly

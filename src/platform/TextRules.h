#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Text rules every layer shares. Letter case is folded for ASCII letters only: stored names, keys and ATRs
// are 8-bit texts whose other bytes must compare as they are, whatever the user's locale.

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
// The value of a hexadecimal digit of either case, or -1 for any other character.
constexpr int HexDigitValue(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}
// The upper-case hexadecimal digit of a value's low four bits.
constexpr char HexDigit(unsigned value) {
  return "0123456789ABCDEF"[value & 0x0F];
}
// Printable ASCII: the codes from 0x20 (the blank) to 0x7E.
constexpr bool IsPrintableAscii(unsigned char code) {
  return code >= 0x20 && code <= 0x7E;
}
std::string ToAsciiLower(std::string_view text);
std::string ToAsciiUpper(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view left, std::string_view right);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// The position of the first occurrence of pattern, or std::string_view::npos; an empty pattern is found
// nowhere.
std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view pattern);

// What people put between the parts of a line they type.
inline constexpr std::string_view kSpaceAndTab = " \t";

// The text without the given characters at its start, at its end, or at both.
std::string_view TrimLeading(std::string_view text, std::string_view characters = kSpaceAndTab);
std::string_view TrimTrailing(std::string_view text, std::string_view characters = kSpaceAndTab);
std::string_view Trim(std::string_view text, std::string_view characters = kSpaceAndTab);
// The text without its leading (and trailing) characters of codes 0x00 to 0x20: blanks and every control
// character, for lines read from files, where a stray CR or form feed is no part of the content.
std::string_view TrimLeadingControls(std::string_view text);
std::string_view TrimControls(std::string_view text);

// "1 byte", "2 bytes": a count with its noun in the singular or the plural (the noun plus "s").
std::string CountOf(std::size_t count, std::string_view noun);

// The text without any blank (0x20); other white space stays.
std::string WithoutBlanks(std::string_view text);

// The lines of a text as views of it, found one by one as they are walked, so that walking them takes no
// memory per line: a line ends at CR, at LF or at CR LF, and a line end at the very end of the text starts no
// further line.
class LineRange {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    Iterator() = default;
    explicit Iterator(std::string_view text) : rest_(text) { FindLineEnd(); }

    std::string_view operator*() const { return line_; }
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    // Iterators of one text are equal when they have as much of it left.
    bool operator==(const Iterator& other) const { return rest_.size() == other.rest_.size(); }

   private:
    void FindLineEnd();

    std::string_view rest_;  // the text from the start of the current line on
    std::string_view line_;  // the current line, without its line end
  };

  explicit LineRange(std::string_view text) : text_(text) {}
  Iterator begin() const { return Iterator(text_); }
  Iterator end() const { return Iterator(text_.substr(text_.size())); }

 private:
  std::string_view text_;
};

// Splits text into lines: a line ends at CR, at LF or at CR LF, and a line end at the very end of the text
// starts no further line.
std::vector<std::string> SplitLines(std::string_view text);
// Splits as above into lines, whose strings are reused: a text of the same shape as the last one takes no
// new memory.
void SplitLines(std::string_view text, std::vector<std::string>& lines);

}  // namespace tessaly

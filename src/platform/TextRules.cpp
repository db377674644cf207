#include "platform/TextRules.h"

#include <algorithm>

namespace tessaly {

std::string ToAsciiLower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), AsciiLower);
  return result;
}

std::string ToAsciiUpper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), AsciiUpper);
  return result;
}

namespace {

bool SameIgnoringAsciiCase(char left, char right) {
  return AsciiLower(left) == AsciiLower(right);
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view left, std::string_view right) {
  return std::equal(left.begin(), left.end(), right.begin(), right.end(), SameIgnoringAsciiCase);
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return std::string_view::npos;
  const auto found =
      std::search(text.begin(), text.end(), pattern.begin(), pattern.end(), SameIgnoringAsciiCase);
  return found == text.end() ? std::string_view::npos : static_cast<std::size_t>(found - text.begin());
}

namespace {

template <typename Trimmed>
std::string_view TrimLeadingWhere(std::string_view text, Trimmed trimmed) {
  const auto first = std::find_if_not(text.begin(), text.end(), trimmed);
  return text.substr(static_cast<std::size_t>(first - text.begin()));
}

template <typename Trimmed>
std::string_view TrimTrailingWhere(std::string_view text, Trimmed trimmed) {
  const auto last = std::find_if_not(text.rbegin(), text.rend(), trimmed);
  return text.substr(0, static_cast<std::size_t>(text.rend() - last));
}

// A plain comparison rather than a set of 33 characters, and a lambda rather than a function, so that it
// is inlined: template loads trim every line.
constexpr auto kIsControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };

auto OneOf(std::string_view characters) {
  return [characters](char c) { return characters.find(c) != std::string_view::npos; };
}

}  // namespace

std::string_view TrimLeading(std::string_view text, std::string_view characters) {
  return TrimLeadingWhere(text, OneOf(characters));
}

std::string_view TrimTrailing(std::string_view text, std::string_view characters) {
  return TrimTrailingWhere(text, OneOf(characters));
}

std::string_view Trim(std::string_view text, std::string_view characters) {
  return TrimTrailing(TrimLeading(text, characters), characters);
}

std::string_view TrimLeadingControls(std::string_view text) {
  return TrimLeadingWhere(text, kIsControl);
}

std::string_view TrimControls(std::string_view text) {
  return TrimTrailingWhere(TrimLeadingControls(text), kIsControl);
}

std::string CountOf(std::size_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string WithoutBlanks(std::string_view text) {
  std::string result(text);
  std::erase(result, ' ');
  return result;
}

// A plain search for either end: find_first_of would call memchr on the two ends for every character.
void LineRange::Iterator::FindLineEnd() {
  const auto end = std::find_if(rest_.begin(), rest_.end(), [](char c) { return c == '\r' || c == '\n'; });
  line_ = rest_.substr(0, static_cast<std::size_t>(end - rest_.begin()));
}

LineRange::Iterator& LineRange::Iterator::operator++() {
  rest_.remove_prefix(line_.size());
  const std::size_t lineEnd = rest_.starts_with("\r\n") ? 2 : 1;
  rest_.remove_prefix(std::min(lineEnd, rest_.size()));
  FindLineEnd();
  return *this;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  SplitLines(text, lines);
  return lines;
}

void SplitLines(std::string_view text, std::vector<std::string>& lines) {
  // Exactly the room needed: a text of many short lines would otherwise take up to twice as much.
  if (const auto ends = static_cast<std::size_t>(
          std::count_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }));
      ends + 1 > lines.capacity()) {
    lines.reserve(ends + 1);
  }
  std::size_t count = 0;
  for (const std::string_view line : LineRange(text)) {
    if (count < lines.size()) {
      lines[count].assign(line);
    } else {
      lines.emplace_back(line);
    }
    ++count;
  }
  lines.resize(count);
}

}  // namespace tessaly

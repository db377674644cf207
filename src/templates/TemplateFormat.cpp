#include "templates/TemplateFormat.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace tessaly {
namespace {

constexpr std::int32_t kUnreadableColour = 0x00FFFFFF;
constexpr std::size_t kMaxHexDigits = 8;

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits only, at least one, at most eight of them after the leading zeros.
std::optional<std::uint32_t> ParseHex32(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  std::size_t significant = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (value == 0 && digit == 0) continue;
    if (++significant > kMaxHexDigits) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

}  // namespace

std::string_view TrimLeadingControls(std::string_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsControlOrBlank);
  text.remove_prefix(static_cast<std::size_t>(first - text.begin()));
  return text;
}

bool IsEntryLine(std::string_view trimmedLine) {
  return !trimmedLine.empty() && (trimmedLine.front() == '+' || trimmedLine.front() == '-');
}

TLineFields SplitFields(std::string_view line, std::size_t maxCount) {
  TLineFields fields;
  maxCount = std::min(maxCount, TLineFields::kMaxCount);
  if (!line.empty() && line.back() == '\t') line.remove_suffix(1);
  while (fields.Count < maxCount) {
    const std::size_t end = std::min(line.find('\t'), line.size());
    fields.Field[fields.Count++] = line.substr(0, end);
    if (end == line.size()) break;
    line.remove_prefix(end + 1);
  }
  return fields;
}

std::string HexByteText(std::string_view field) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::uint32_t value = ParseHex32(field).value_or(0);
  char digits[2 * sizeof value];
  char* first = std::end(digits);
  do {
    *--first = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (std::end(digits) - first < 2) *--first = '0';
  return std::string(first, std::end(digits));
}

std::int32_t ColourValue(std::string_view field) {
  if (field.empty()) return 0;
  const auto value = ParseHex32(field);
  return value ? static_cast<std::int32_t>(*value) : kUnreadableColour;
}

void CleanStatusWordText(std::string_view text, std::string& clean) {
  clean.assign(TrimLeadingControls(text));
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == 'x' || c == 'X'; }, '*');
}

}  // namespace tessaly

#include "templates/TemplateFormat.h"

#include <algorithm>
#include <optional>

#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr std::int32_t kUnreadableColour = 0x00FFFFFF;
constexpr std::size_t kMaxHexDigits = 8;

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

bool IsEntryLine(std::string_view trimmedLine) {
  return !trimmedLine.empty() && (trimmedLine.front() == '+' || trimmedLine.front() == '-');
}

LineFields SplitFields(std::string_view line, std::size_t maxCount) {
  LineFields fields;
  maxCount = std::min(maxCount, LineFields::kMaxCount);
  if (!line.empty() && line.back() == '\t') line.remove_suffix(1);
  while (fields.Count < maxCount) {
    const std::size_t end = std::min(line.find('\t'), line.size());
    fields.Field[fields.Count++] = line.substr(0, end);
    if (end == line.size()) break;
    line.remove_prefix(end + 1);
  }
  return fields;
}

std::string_view HexByteText(std::string_view field, HexDigits& room) {
  static_assert(std::tuple_size_v<HexDigits> == 2 * sizeof(std::uint32_t));
  std::uint32_t value = ParseHex32(field).value_or(0);
  char* first = room.data() + room.size();
  do {
    *--first = HexDigit(value);
    value >>= 4;
  } while (value != 0);
  if (room.data() + room.size() - first < 2) *--first = '0';
  return {first, static_cast<std::size_t>(room.data() + room.size() - first)};
}

std::int32_t ColourValue(std::string_view field) {
  if (field.empty()) return 0;
  const auto value = ParseHex32(field);
  return value ? static_cast<std::int32_t>(*value) : kUnreadableColour;
}

std::string_view CleanStatusWordText(std::string_view text, std::string& room) {
  const auto isWildcard = [](char c) { return c == 'x' || c == 'X'; };
  text = TrimLeadingControls(text);
  if (std::none_of(text.begin(), text.end(), isWildcard)) return text;
  room.assign(text);
  std::replace_if(room.begin(), room.end(), isWildcard, '*');
  return room;
}

}  // namespace tessaly

#include "templates/StatusWordLookup.h"
#include "platform/TextRules.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <optional>

namespace tessaly {
namespace {

constexpr std::size_t kKeyLength = 4;
constexpr char kWildcard = '*';

// The number of wildcards of a key that matches the digits, nothing when it does not match.
std::optional<int> WildcardsOfMatch(const std::string& key, const std::array<char, kKeyLength>& digits) {
  if (key.size() != kKeyLength) return std::nullopt;
  int wildcards = 0;
  for (std::size_t position = 0; position < kKeyLength; ++position) {
    if (key[position] == kWildcard) {
      ++wildcards;
    } else if (AsciiUpper(key[position]) != digits[position]) {
      return std::nullopt;
    }
  }
  return wildcards;
}

std::uint32_t ColourOf(const std::string& text) {
  std::int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return static_cast<std::uint32_t>(value);
}

}  // namespace

TStatusWordMeaning FindStatusWord(const TKeyedTable& statusWords, std::uint8_t sw1, std::uint8_t sw2) {
  const std::array<char, kKeyLength> digits = {HexDigit(sw1 >> 4), HexDigit(sw1), HexDigit(sw2 >> 4),
                                               HexDigit(sw2)};
  std::optional<std::size_t> best;
  int bestWildcards = static_cast<int>(kKeyLength) + 1;
  for (std::size_t entry = 0; entry < statusWords.Count() && bestWildcards > 0; ++entry) {
    const std::optional<int> wildcards = WildcardsOfMatch(statusWords.TextAt(entry, "SW"), digits);
    if (wildcards && *wildcards < bestWildcards) {
      best = entry;
      bestWildcards = *wildcards;
    }
  }
  if (!best) return {"****", "Not defined", 0};
  return {statusWords.TextAt(*best, "SW"), statusWords.TextAt(*best, "Verbose"),
          ColourOf(statusWords.TextAt(*best, "Color"))};
}

}  // namespace tessaly

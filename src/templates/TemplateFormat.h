#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The rules of the template text format that the command and the status-word files share.

// Whether a trimmed line is an entry line, enabled or disabled: it starts with "+" or "-".
bool IsEntryLine(std::string_view trimmedLine);

// The fields of an entry line, viewing the line.
struct LineFields {
  static constexpr std::size_t kMaxCount = 5;  // the most a file kind uses

  std::array<std::string_view, kMaxCount> Field;
  std::size_t Count = 0;

  // A field the line does not have reads as empty.
  std::string_view operator[](std::size_t position) const {
    return position < Count ? Field[position] : std::string_view();
  }
};

// Splits an entry line into fields at each TAB; a single TAB at the end gives no empty last field.
// Keeps at most maxCount (up to LineFields::kMaxCount) fields, as later ones are ignored anyway.
LineFields SplitFields(std::string_view line, std::size_t maxCount);

// A class or instruction byte field: 1 to 8 significant hexadecimal digits give the number in upper-case
// hexadecimal with at least two digits; any other text gives "00". The result views room, which holds the
// most digits a result can have.
using HexDigits = std::array<char, 8>;
std::string_view HexByteText(std::string_view field, HexDigits& room);

// A colour field: empty gives 0, 1 to 8 significant hexadecimal digits their value, anything else
// 0x00FFFFFF. The value is kept as the 32-bit integer with those bits.
std::int32_t ColourValue(std::string_view field);

// A status-word text without its leading characters 0x00 to 0x20 and with every "x" and "X" made "*". The
// result views the text, or room when a wildcard had to be replaced (a load cleans three texts per line, so
// room is reused rather than a string made each time).
std::string_view CleanStatusWordText(std::string_view text, std::string& room);

}  // namespace tessaly

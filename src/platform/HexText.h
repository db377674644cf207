#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Bytes read from hexadecimal text, and why the reading stopped early (empty when it read all the text).
struct HexReading {
  std::vector<std::uint8_t> Bytes;
  std::string Problem;

  bool Complete() const { return Problem.empty(); }
};

// Reads bytes written as pairs of hexadecimal digits of either case, with any number of the separator
// characters between pairs but never inside one: "3 B" is a mistake, not the byte 3B. The problem names the
// first character that breaks the rule by its 1-based column.
HexReading ReadHexBytes(std::string_view text, std::string_view separators = " \t");

// Two upper-case hexadecimal digits per byte, the separator between bytes.
std::string HexText(std::span<const std::uint8_t> bytes, std::string_view separator = " ");

}  // namespace tessaly

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextRules.h"

namespace tessaly {

// How hexadecimal text may be written. Every reader of hex bytes in the program reads with these rules; they
// differ in what a person is likely to type where the text comes from.
struct HexSyntax {
  // The characters that may stand between bytes.
  std::string_view Separators = kSpaceAndTab;
  // Whether they may stand between the two digits of a byte too: "3 B" is the byte 3B in a command typed
  // by hand, a mistake elsewhere.
  bool SeparatorsInsideBytes = false;
  // Whether a byte may carry a "0x" prefix, as C literals and some tools write them.
  bool CPrefixes = false;
};

// Where the reading of hexadecimal text went, for each reader to say in its own words.
struct HexScan {
  // The bytes read before the reading stopped.
  std::vector<std::uint8_t> Bytes;
  // The index of the first character that is neither a digit nor a separator; the reading stops there.
  std::optional<std::size_t> Stray;
  // The index of a digit left without its partner: the last of the text, one before a stray character, or
  // one before a separator the syntax does not allow inside a byte, where the reading stops.
  std::optional<std::size_t> HalfByte;

  bool Complete() const { return !Stray && !HalfByte; }
};

// Reads pairs of hexadecimal digits of either case under the syntax.
HexScan ScanHexBytes(std::string_view text, const HexSyntax& syntax);

// Bytes read from hexadecimal text, and why the reading stopped early (empty when it read all the text).
struct HexReading {
  std::vector<std::uint8_t> Bytes;
  std::string Problem;

  bool Complete() const { return Problem.empty(); }
};

// Reads bytes written as pairs of hexadecimal digits of either case, with any number of the separator
// characters between pairs but never inside one: "3 B" is a mistake, not the byte 3B. The problem names the
// first character that breaks the rule by its 1-based column.
HexReading ReadHexBytes(std::string_view text, std::string_view separators = kSpaceAndTab);

// Two upper-case hexadecimal digits per byte, the separator between bytes: "3B 8F 80".
std::string HexText(std::span<const std::uint8_t> bytes, std::string_view separator = " ");
// One byte's two upper-case digits: "3B".
std::string HexText(std::uint8_t byte);

// The bytes as characters, each byte outside printable ASCII (0x20 to 0x7E) as a dot.
std::string PrintableAscii(std::span<const std::uint8_t> bytes);

}  // namespace tessaly

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {

// The shortest command (CLA INS P1 P2) and the longest: an extended case-4 command with 65,535 data bytes.
inline constexpr std::size_t kShortestCommand = 4;
inline constexpr std::size_t kLongestCommand = 4 + 3 + 65535 + 2;

// Hexadecimal text as people type commands and scriptor writes them: blanks and tabs anywhere, even between
// a byte's two digits ("00A4 0400", "00 A4 04 00").
inline constexpr HexSyntax kTypedHexSyntax{.Separators = kSpaceAndTab, .SeparatorsInsideBytes = true};

// A command's bytes from hexadecimal text of kTypedHexSyntax. Raises EDeviceError for any other character
// or an odd number of digits.
std::vector<std::uint8_t> ParseHexBytes(const std::string& text);
// Raises EDeviceError unless the command is between the shortest and the longest length.
void CheckCommandLength(std::span<const std::uint8_t> command);
// The status word that ends a response: its last two bytes, or what there is of them.
std::span<const std::uint8_t> StatusWordOf(std::span<const std::uint8_t> response);

}  // namespace tessaly

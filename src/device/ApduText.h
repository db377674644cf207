#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/TextRules.h"

namespace tessaly {

// The shortest command (CLA INS P1 P2) and the longest: an extended case-4 command with 65,535 data bytes.
inline constexpr std::size_t kShortestCommand = 4;
inline constexpr std::size_t kLongestCommand = 4 + 3 + 65535 + 2;

// Bytes from hexadecimal text; blanks between the digits are allowed. Raises EDeviceError for any other
// character or an odd number of digits.
std::vector<std::uint8_t> ParseHexBytes(const std::string& text);
// Two upper-case hexadecimal digits per byte, with a blank between bytes when separated is set.
std::string HexBytes(std::span<const std::uint8_t> bytes, bool separated);
// Raises EDeviceError unless the command is between the shortest and the longest length.
void CheckCommandLength(std::span<const std::uint8_t> command);
// The status word that ends a response: its last two bytes, or what there is of them.
std::span<const std::uint8_t> StatusWordOf(std::span<const std::uint8_t> response);
// The bytes as characters, each byte outside printable ASCII (0x20 to 0x7E) as a dot.
std::string PrintableAscii(std::span<const std::uint8_t> bytes);

}  // namespace tessaly

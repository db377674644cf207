#include "device/ApduText.h"

#include <algorithm>

#include "device/PcscError.h"

namespace tessaly {

std::vector<std::uint8_t> ParseHexBytes(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (const char character : text) {
    if (character == ' ' || character == '\t') continue;
    const int digit = HexDigitValue(character);
    if (digit < 0)
      throw EDeviceError("The command holds '" + std::string(1, character) +
                         "', which is not a hexadecimal digit");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) throw EDeviceError("The command has an odd number of hexadecimal digits");
  return bytes;
}

std::string HexBytes(std::span<const std::uint8_t> bytes, bool separated) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t byte : bytes) {
    if (separated && !text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

void CheckCommandLength(std::span<const std::uint8_t> command) {
  if (command.size() < kShortestCommand) {
    throw EDeviceError("A command needs at least 4 bytes (CLA INS P1 P2); this one has " +
                       std::to_string(command.size()));
  }
  if (command.size() > kLongestCommand) {
    throw EDeviceError("A command has at most " + std::to_string(kLongestCommand) + " bytes; this one has " +
                       std::to_string(command.size()));
  }
}

std::span<const std::uint8_t> StatusWordOf(std::span<const std::uint8_t> response) {
  return response.last(std::min<std::size_t>(response.size(), 2));
}

std::string PrintableAscii(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const std::uint8_t byte : bytes) text += byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
  return text;
}

}  // namespace tessaly

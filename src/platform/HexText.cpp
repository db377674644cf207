#include "platform/HexText.h"

#include "platform/TextRules.h"

namespace tessaly {
namespace {

std::string Column(std::size_t index) {
  return "column " + std::to_string(index + 1);
}

// A character as the user can read it in a message: printable ASCII quoted, anything else by its code.
std::string Shown(char character) {
  const auto code = static_cast<unsigned char>(character);
  if (code >= 0x20 && code < 0x7F) return "'" + std::string(1, character) + "'";
  const std::uint8_t byte = code;
  return "the character 0x" + HexText(std::span(&byte, 1));
}

}  // namespace

HexReading ReadHexBytes(std::string_view text, std::string_view separators) {
  HexReading reading;
  reading.Bytes.reserve(text.size() / 2);
  int high = -1;
  std::size_t highAt = 0;
  for (std::size_t index = 0; index < text.size(); ++index) {
    const int digit = HexDigitValue(text[index]);
    if (digit >= 0 && high < 0) {
      high = digit;
      highAt = index;
    } else if (digit >= 0) {
      reading.Bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    } else if (separators.find(text[index]) == std::string_view::npos) {
      reading.Problem =
          Shown(text[index]) + " at " + Column(index) + " is neither a hexadecimal digit nor a separator";
      return reading;
    } else if (high >= 0) {
      break;
    }
  }
  if (high >= 0) reading.Problem = "the hexadecimal digit at " + Column(highAt) + " is half a byte";
  return reading;
}

std::string HexText(std::span<const std::uint8_t> bytes, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (bytes.empty()) return text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += separator;
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace tessaly

#include "platform/HexText.h"

#include "platform/TextRules.h"

namespace tessaly {
namespace {

std::string Column(std::size_t index) {
  return "column " + std::to_string(index + 1);
}

// A character as the user can read it in a message: printable ASCII quoted, anything else by its code.
std::string Shown(char character) {
  if (IsPrintableAscii(character)) return "'" + std::string(1, character) + "'";
  return "the character 0x" + HexText(static_cast<std::uint8_t>(character));
}

bool StartsCPrefix(std::string_view text, std::size_t at) {
  return text[at] == '0' && at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X');
}

}  // namespace

HexScan ScanHexBytes(std::string_view text, const HexSyntax& syntax) {
  HexScan scan;
  scan.Bytes.reserve(text.size() / 2);
  int high = -1;
  std::size_t highAt = 0;
  for (std::size_t index = 0; index < text.size(); ++index) {
    if (high < 0 && syntax.CPrefixes && StartsCPrefix(text, index)) {
      ++index;
      continue;
    }
    const int digit = HexDigitValue(text[index]);
    if (digit >= 0 && high < 0) {
      high = digit;
      highAt = index;
    } else if (digit >= 0) {
      scan.Bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    } else if (syntax.Separators.find(text[index]) != std::string_view::npos) {
      if (high >= 0 && !syntax.SeparatorsInsideBytes) break;
    } else {
      scan.Stray = index;
      break;
    }
  }
  if (high >= 0) scan.HalfByte = highAt;
  return scan;
}

HexReading ReadHexBytes(std::string_view text, std::string_view separators) {
  HexScan scan = ScanHexBytes(text, {.Separators = separators});
  HexReading reading{std::move(scan.Bytes), {}};
  if (scan.Stray) {
    reading.Problem = Shown(text[*scan.Stray]) + " at " + Column(*scan.Stray) +
                      " is neither a hexadecimal digit nor a separator";
  } else if (scan.HalfByte) {
    reading.Problem = "the hexadecimal digit at " + Column(*scan.HalfByte) + " is half a byte";
  }
  return reading;
}

std::string HexText(std::span<const std::uint8_t> bytes, std::string_view separator) {
  std::string text;
  if (bytes.empty()) return text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += separator;
    text += HexDigit(byte >> 4);
    text += HexDigit(byte);
  }
  return text;
}

std::string HexText(std::uint8_t byte) {
  return {HexDigit(byte >> 4), HexDigit(byte)};
}

std::string PrintableAscii(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const std::uint8_t byte : bytes) text += IsPrintableAscii(byte) ? static_cast<char>(byte) : '.';
  return text;
}

}  // namespace tessaly

#include "kernel/LogDetails.h"

#include <cstdio>

namespace tessaly {
namespace {

constexpr char kNameValueSeparator = '=';

// The value of the first line that names name; empty when no line does.
std::string ValueOfName(const std::vector<std::string>& lines, const std::string& name) {
  for (const auto& line : lines) {
    const auto separator = line.find(kNameValueSeparator);
    if (separator != std::string::npos && line.compare(0, separator, name) == 0) {
      return line.substr(separator + 1);
    }
  }
  return {};
}

}  // namespace

std::string HexNumber(std::uint32_t value) {
  char digits[11];
  std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(value));
  return digits;
}

std::string ErrorDetails(std::int32_t code, const std::string& message) {
  if (code == 0) return message;
  return HexNumber(static_cast<std::uint32_t>(code)) + " : " + message;
}

std::string ReaderStateDetails(std::uint32_t stateWord, const std::vector<std::string>& stateLines) {
  std::string details = HexNumber(stateWord);
  for (const auto& line : stateLines) {
    const auto separator = line.find(kNameValueSeparator);
    details += " : ";
    if (separator != std::string::npos) details += ValueOfName(stateLines, line.substr(0, separator));
  }
  return details;
}

std::string ExchangeLogDetails(const std::string& sentBytes, const std::string& receivedBytes) {
  return "Sent: { " + sentBytes + " }  Received: { " + receivedBytes + " }";
}

std::string CardReadyDetails(const std::string& atr) {
  return "ATR = " + atr;
}

}  // namespace tessaly

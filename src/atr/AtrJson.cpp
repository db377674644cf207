#include "atr/AtrJson.h"

#include <cstdio>

namespace tessaly {
namespace {

// A JSON string: quotes, backslashes and control characters escaped; other bytes (UTF-8) as they are.
std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

std::string AtrJsonLine(const std::string& atrText, const ParsedAtr& atr,
                        const std::vector<std::string>& lines) {
  std::string json = "{\"atr\":" + JsonString(atrText) +
                     ",\"wellFormed\":" + (atr.WellFormed() ? "true" : "false") + ",\"analysis\":{";
  bool firstHeading = true;
  bool firstItem = true;
  for (const std::string& line : lines) {
    const std::size_t separator = line.find('=');
    if (separator == std::string::npos) {
      json += (firstHeading ? "" : "},") + JsonString(line) + ":{";
      firstHeading = false;
      firstItem = true;
      continue;
    }
    json += (firstItem ? "" : ",") + JsonString(line.substr(0, separator)) + ":" +
            JsonString(line.substr(separator + 1));
    firstItem = false;
  }
  return json + (firstHeading ? "}}" : "}}}");
}

}  // namespace tessaly

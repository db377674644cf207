#include "atr/AtrJson.h"

#include "platform/JsonText.h"

namespace tessaly {

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

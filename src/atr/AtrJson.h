#pragma once

#include <string>
#include <vector>

#include "atr/AtrParser.h"

namespace tessaly {

// One ATR's analysis as one line of JSON, for scripts: {"atr": the ATR as text, "wellFormed": true or
// false, "analysis": {heading: {item name: value, ...}, ...}}, headings and items in the order of lines.
std::string AtrJsonLine(const std::string& atrText, const ParsedAtr& atr,
                        const std::vector<std::string>& lines);

}  // namespace tessaly

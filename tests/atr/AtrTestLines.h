#pragma once

#include <string>
#include <vector>

#include "atr/AtrInfoLines.h"

namespace tessaly::test {

// The card-information lines of an ATR given as hex text, without known-card descriptions.
inline std::vector<std::string> InfoLinesOf(const std::string& hexText) {
  return AtrInfoLines(ParseAtr(hexText), nullptr);
}

}  // namespace tessaly::test

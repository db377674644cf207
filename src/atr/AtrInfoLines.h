#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "atr/AtrParser.h"
#include "atr/KnownCardList.h"

namespace tessaly {

// The card-information lines of an ATR: the headings "ATR", "Interface bytes", "Protocols", "Historical
// bytes" and "Check byte", each followed by its "name=value" items; names are unique in any case. The
// descriptions of known cards come from knownCards when it is given.
std::vector<std::string> AtrInfoLines(std::span<const std::uint8_t> atr, const KnownCardList* knownCards);
std::vector<std::string> AtrInfoLines(const ParsedAtr& atr, const KnownCardList* knownCards);

}  // namespace tessaly

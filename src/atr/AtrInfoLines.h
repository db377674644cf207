#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "atr/AtrParser.h"
#include "atr/KnownCardList.h"

namespace tessaly {

// What the lines say about the list of known cards besides the descriptions of the cards that match: for
// a person at a command line also which list was used, and where an ATR it lacks can be submitted.
enum class KnownCardNotes { MatchesOnly, ListAndSubmission };

// The card-information lines of an ATR: the headings "ATR", "Interface bytes", "Protocols", "Historical
// bytes" and "Check byte", each followed by its "name=value" items; names are unique in any case. The
// descriptions of known cards come from knownCards when it is given. Bytes that do not reach T0 are no
// ATR to analyse: they get the "ATR" heading with their problems only.
std::vector<std::string> AtrInfoLines(std::span<const std::uint8_t> atr, const KnownCardList* knownCards);
std::vector<std::string> AtrInfoLines(const ParsedAtr& atr, const KnownCardList* knownCards,
                                      KnownCardNotes notes = KnownCardNotes::MatchesOnly);

}  // namespace tessaly

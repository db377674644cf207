#pragma once

#include <cstdint>
#include <string>

#include "templates/KeyedTable.h"

namespace tessaly {

// What a status-word table says about one status word.
struct TStatusWordMeaning {
  std::string Key;       // the entry's "SW", "****" for the catch-all
  std::string Verbose;   // "Not defined" when no entry matches
  std::uint32_t Colour;  // a Windows colour value: red in the low byte, then green, then blue
};

// The entry of a status-word table that explains SW1 SW2. A key matches when each of its four characters
// is the status word's hexadecimal digit (either case) or "*"; the entry with the fewest "*" wins, and
// among those the first in the table, so "6A82" comes before "6A**" and that before "****". Keys that are
// not four characters match nothing. With no match (an empty table) the meaning is the catch-all's,
// "Not defined" in colour 0.
TStatusWordMeaning FindStatusWord(const TKeyedTable& statusWords, std::uint8_t sw1, std::uint8_t sw2);

}  // namespace tessaly

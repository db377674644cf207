#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/CardExchange.h"
#include "templates/StatusWordLookup.h"

namespace tessaly {

class TKeyedTable;

// The meaning of the status word that ends an answer; "No status word" for an answer shorter than two
// bytes, and "Not defined" without a table.
TStatusWordMeaning MeaningOf(std::span<const std::uint8_t> answer, const TKeyedTable* statusWords);

// One exchange as scriptor writes it, each line ending in "\n": "> " and the command, then "< " and the
// whole answer followed by " : " and its status word's meaning, then, when the card needed more than one
// physical exchange, each of them as a comment line ("# step 2: 00 C0 00 00 16 -> ... 90 00"). An exchange
// without an answer gets a comment line with the reason instead of the answer.
std::string TranscriptText(std::span<const std::uint8_t> command, const ExchangeOutcome& outcome,
                           const TKeyedTable* statusWords);

}  // namespace tessaly

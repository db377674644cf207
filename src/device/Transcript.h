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
// whole answer followed by " : " and its status word's meaning; when the answer's data are BER-TLV
// throughout, their decoded tree as comment lines ("# " before each line of TlvTreeLines); then, when the
// card needed more than one physical exchange, each of them as a comment line ("# step 2: 00 C0 00 00 16
// -> ... 90 00"). An exchange without an answer gets a comment line with the reason instead of the answer.
std::string TranscriptText(std::span<const std::uint8_t> command, const ExchangeOutcome& outcome,
                           const TKeyedTable* statusWords);
// The same with the meaning given, for an exchange whose status-word table has changed since.
std::string TranscriptText(std::span<const std::uint8_t> command, const ExchangeOutcome& outcome,
                           const std::string& meaning);

// A warm reset as scriptor writes it: "> RESET", then "< OK: " and the card's ATR, or "< KO: " and the
// reason it failed.
std::string ResetTranscriptText(const std::string& atr, const std::string& failure);

}  // namespace tessaly

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

// The state lines of a reader for OnReaderStateChanged: "State=" with the names of the event-state flags
// joined by "|" ("UNAWARE" for none), and "ATR=" with the card's ATR when a card is present.
std::vector<std::string> ReaderStateLines(std::uint32_t eventState, std::span<const std::uint8_t> atr);

}  // namespace tessaly

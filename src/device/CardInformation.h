#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

class KnownCardList;

// The lines of a card's information list (headings and "name=value" items) as the monitor shows them, with
// the names the list of known cards gives the card. Called on the GUI thread only.
std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr);

// Names cards from list instead of the system's list of known cards.
void UseKnownCardList(KnownCardList list);
// Starts reading the system's list of known cards on a thread of its own, unless a list was chosen, so that
// the first card's information does not wait for the whole list to be read.
void ReadKnownCardListAhead();
// The list that names the cards: the one chosen, else the system's (waiting for the reading started ahead,
// or reading it now when none was); null when there is none or it cannot be read.
const KnownCardList* KnownCardListInUse();

}  // namespace tessaly

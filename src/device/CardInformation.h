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
// The list that names the cards: the one chosen, else the system's, read now when no card has needed it
// yet; null when there is none or it cannot be read.
const KnownCardList* KnownCardListInUse();

}  // namespace tessaly

#pragma once

#include "atr/AtrParser.h"
#include "atr/InfoLineList.h"

namespace tessaly {

// Items for the historical bytes: the category indicator and, where the category says the bytes are
// compact-TLV objects, each object with its meaning; other categories as hex and printable text.
void AddHistoricalItems(const ParsedAtr& atr, InfoLineList& lines);

}  // namespace tessaly

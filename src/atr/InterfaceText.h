#pragma once

#include "atr/AtrParser.h"
#include "atr/InfoLineList.h"

namespace tessaly {

// Items for every interface byte present, each with what it means at its level and for its protocol.
void AddInterfaceByteItems(const ParsedAtr& atr, InfoLineList& lines);

// Items for the offered protocols and the parameters in effect, defaults included.
void AddProtocolItems(const ParsedAtr& atr, InfoLineList& lines);

}  // namespace tessaly

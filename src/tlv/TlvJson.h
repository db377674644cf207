#pragma once

#include <string>
#include <string_view>

#include "tlv/TlvTree.h"

namespace tessaly {

// The tree as one line of JSON: {"well_formed":..., "objects":[...], "problem":{"offset":..., "text":...}}.
std::string TlvTreeJson(const TlvTree& tree);
// The same shape for text that is not hex: no objects, and a problem without an offset.
std::string UnreadableInputJson(std::string_view problem);

}  // namespace tessaly

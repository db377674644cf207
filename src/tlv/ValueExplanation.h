#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tlv/TagTable.h"

namespace tessaly {

// The value in words as ISO/IEC 7816-4 defines it: the file descriptor's bytes (file kind and structure,
// data coding, record size and count) or the life cycle status byte. Empty for None and for an empty value.
std::string ExplainValue(ValueExplanation kind, std::span<const std::uint8_t> value);

}  // namespace tessaly

#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tessaly::test {

// Bytes written as hex pairs (blanks ignored) and 'quoted text': "00 B2 01 04 00", "'Tessa' 90 00".
std::vector<std::uint8_t> CardBytes(std::string_view text);

}  // namespace tessaly::test

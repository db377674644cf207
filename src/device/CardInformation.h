#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

// The lines of a card's information list (headings and "name=value" items) as the monitor shows them.
std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr);

}  // namespace tessaly

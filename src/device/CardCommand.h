#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessaly {

// A command APDU taken apart as ISO 7816-3 defines its four cases, short and extended.
struct CardCommand {
  std::uint8_t Class = 0;
  std::uint8_t Instruction = 0;
  std::uint8_t P1 = 0;
  std::uint8_t P2 = 0;
  std::vector<std::uint8_t> Data{};
  bool HasLe = false;
  bool LeIsMaximum = false;        // Le field of zeros: "as much as there is"
  std::size_t ExpectedLength = 0;  // Ne: 0 without Le, 256 or 65536 for a zero Le
};

// Nothing when the bytes fit none of the four cases.
std::optional<CardCommand> ParseCardCommand(std::span<const std::uint8_t> bytes);

}  // namespace tessaly

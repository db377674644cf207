#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessaly {

// The longest tag ISO/IEC 7816-4 uses.
inline constexpr std::size_t kMaxTagSize = 3;

// How the tag that starts at the first of the bytes ends.
struct TagReading {
  enum class Outcome { Complete, CutShort, TooLong };
  Outcome Result = Outcome::Complete;
  std::size_t Size = 0;     // the bytes read
  std::uint32_t Value = 0;  // the bytes read as one number
};

// Reads one tag: a first byte whose tag number bits are all 1 is followed by bytes up to one with bit 8
// clear. The bytes must not be empty.
TagReading ReadTag(std::span<const std::uint8_t> bytes);

// Bit 6 of the tag's first byte.
bool IsConstructedTag(std::uint32_t tag, std::size_t tagSize);

}  // namespace tessaly

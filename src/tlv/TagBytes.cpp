#include "tlv/TagBytes.h"

namespace tessaly {
namespace {

constexpr std::uint8_t kTagNumberBits = 0x1F;
constexpr std::uint8_t kMoreTagBytes = 0x80;
constexpr std::uint8_t kConstructedBit = 0x20;

}  // namespace

TagReading ReadTag(std::span<const std::uint8_t> bytes) {
  TagReading tag;
  tag.Value = bytes[0];
  tag.Size = 1;
  bool more = (bytes[0] & kTagNumberBits) == kTagNumberBits;
  while (more) {
    if (tag.Size == bytes.size()) {
      tag.Result = TagReading::Outcome::CutShort;
      return tag;
    }
    if (tag.Size == kMaxTagSize) {
      tag.Result = TagReading::Outcome::TooLong;
      return tag;
    }
    const std::uint8_t next = bytes[tag.Size++];
    tag.Value = (tag.Value << 8) | next;
    more = (next & kMoreTagBytes) != 0;
  }
  return tag;
}

bool IsConstructedTag(std::uint32_t tag, std::size_t tagSize) {
  return ((tag >> (8 * (tagSize - 1))) & kConstructedBit) != 0;
}

}  // namespace tessaly

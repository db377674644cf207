#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tessaly {

// Maps texts to the first entry added with them, by open addressing in one flat array. It views the texts:
// they must stay where they are while the index is used.
class TextIndex {
 public:
  std::optional<std::size_t> Find(std::string_view text) const;

  // Adds the text for the entry unless the index holds it already. Entries come in rising order.
  void Add(std::string_view text, std::size_t entry);

  void Reserve(std::size_t count);

  // Forgets every text but keeps the room, so that refilling the index costs no new memory.
  void Clear();

 private:
  // Eight bytes, so that a probe touches as little memory as it can: part of the text's hash, to skip
  // most comparisons, and the entry counted from 1, 0 marking a free slot.
  struct Slot {
    std::uint32_t HashTag = 0;
    std::uint32_t EntryPlusOne = 0;
  };

  // The slot that holds the text, or the free slot where it belongs.
  std::size_t SlotOf(std::string_view text, std::uint64_t hash) const;
  std::size_t FreeSlotOf(std::uint64_t hash) const;
  void Grow(std::size_t slotCount);

  std::vector<Slot> slots_;              // a power of two in size, at most half full
  std::vector<std::string_view> texts_;  // by entry; empty for entries added with a text already held
  std::size_t count_ = 0;
};

}  // namespace tessaly

#include "templates/TextIndex.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

#include "platform/TessalyError.h"

namespace tessaly {
namespace {

constexpr std::size_t kFirstSlotCount = 16;

// Multiplied out to 64 bits, so that the high bits that make the tag are mixed where size_t has 32 bits.
std::uint64_t HashOf(std::string_view text) {
  return std::uint64_t{std::hash<std::string_view>{}(text)} * 0x9E3779B97F4A7C15u;
}

// The slot position comes from the hash's low bits, the tag from its high ones.
std::uint32_t TagOf(std::uint64_t hash) {
  return static_cast<std::uint32_t>(hash >> 32);
}

}  // namespace

std::optional<std::size_t> TextIndex::Find(std::string_view text) const {
  if (slots_.empty()) return std::nullopt;
  const Slot& slot = slots_[SlotOf(text, HashOf(text))];
  if (slot.EntryPlusOne == 0) return std::nullopt;
  return slot.EntryPlusOne - 1;
}

void TextIndex::Add(std::string_view text, std::size_t entry) {
  if (entry >= std::numeric_limits<std::uint32_t>::max()) throw ETessalyError("Too many entries to index");
  if (2 * (count_ + 1) > slots_.size()) Grow(std::max(kFirstSlotCount, 2 * slots_.size()));
  const std::uint64_t hash = HashOf(text);
  Slot& slot = slots_[SlotOf(text, hash)];
  if (slot.EntryPlusOne != 0) return;
  if (texts_.size() < entry) texts_.resize(entry);
  if (texts_.size() == entry) {
    texts_.push_back(text);
  } else {
    texts_[entry] = text;
  }
  slot = Slot{TagOf(hash), static_cast<std::uint32_t>(entry + 1)};
  ++count_;
}

void TextIndex::Reserve(std::size_t count) {
  std::size_t slotCount = kFirstSlotCount;
  while (slotCount < 2 * count) slotCount *= 2;
  if (slotCount > slots_.size()) Grow(slotCount);
  texts_.reserve(count);
}

void TextIndex::Clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  texts_.clear();
  count_ = 0;
}

std::size_t TextIndex::SlotOf(std::string_view text, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t tag = TagOf(hash);
  for (std::size_t position = hash & mask;; position = (position + 1) & mask) {
    const Slot& slot = slots_[position];
    if (slot.EntryPlusOne == 0 || (slot.HashTag == tag && texts_[slot.EntryPlusOne - 1] == text)) {
      return position;
    }
  }
}

std::size_t TextIndex::FreeSlotOf(std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t position = hash & mask;
  while (slots_[position].EntryPlusOne != 0) position = (position + 1) & mask;
  return position;
}

void TextIndex::Grow(std::size_t slotCount) {
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(slotCount));
  for (const Slot& slot : old) {
    if (slot.EntryPlusOne != 0) slots_[FreeSlotOf(HashOf(texts_[slot.EntryPlusOne - 1]))] = slot;
  }
}

}  // namespace tessaly

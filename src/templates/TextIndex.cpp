#include "templates/TextIndex.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace tessaly {
namespace {

constexpr std::size_t kFirstSlotCount = 16;

std::uint64_t HashOf(std::string_view text) {
  return std::hash<std::string_view>{}(text);
}

}  // namespace

std::optional<std::size_t> TTextIndex::Find(std::string_view text) const {
  if (slots_.empty()) return std::nullopt;
  const TSlot& slot = slots_[SlotOf(text, HashOf(text))];
  if (slot.Entry == kFree) return std::nullopt;
  return slot.Entry;
}

void TTextIndex::Add(std::string_view text, std::size_t entry) {
  if (2 * (count_ + 1) > slots_.size()) Grow(std::max(kFirstSlotCount, 2 * slots_.size()));
  const std::uint64_t hash = HashOf(text);
  TSlot& slot = slots_[SlotOf(text, hash)];
  if (slot.Entry != kFree) return;
  if (texts_.size() <= entry) texts_.resize(entry + 1);
  texts_[entry] = text;
  slot = TSlot{hash, entry};
  ++count_;
}

void TTextIndex::Reserve(std::size_t count) {
  std::size_t slotCount = kFirstSlotCount;
  while (slotCount < 2 * count) slotCount *= 2;
  if (slotCount > slots_.size()) Grow(slotCount);
  texts_.reserve(count);
}

std::size_t TTextIndex::SlotOf(std::string_view text, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t position = hash & mask;; position = (position + 1) & mask) {
    const TSlot& slot = slots_[position];
    if (slot.Entry == kFree || (slot.Hash == hash && texts_[slot.Entry] == text)) return position;
  }
}

std::size_t TTextIndex::FreeSlotOf(std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t position = hash & mask;
  while (slots_[position].Entry != kFree) position = (position + 1) & mask;
  return position;
}

void TTextIndex::Grow(std::size_t slotCount) {
  std::vector<TSlot> old = std::exchange(slots_, std::vector<TSlot>(slotCount));
  for (const TSlot& slot : old) {
    if (slot.Entry != kFree) slots_[FreeSlotOf(slot.Hash)] = slot;
  }
}

}  // namespace tessaly

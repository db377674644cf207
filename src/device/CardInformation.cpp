#include "device/CardInformation.h"

#include <future>
#include <optional>
#include <utility>

#include "atr/AtrInfoLines.h"
#include "atr/KnownCardList.h"

namespace tessaly {
namespace {

struct KnownCards {
  bool chosen = false;
  std::optional<KnownCardList> list;
  std::future<std::optional<KnownCardList>> reading;
};

// A system list that cannot be read leaves the lines without card names.
std::optional<KnownCardList> SystemList() {
  try {
    return KnownCardList::LoadDefault();
  } catch (const EKnownCardListError&) {
    return std::nullopt;
  }
}

KnownCards& Cards() {
  static KnownCards cards;
  return cards;
}

}  // namespace

// Unless a list was chosen or read ahead, the system's list is read on the first card only, so that a start
// without a card does not pay for it.
const KnownCardList* KnownCardListInUse() {
  KnownCards& cards = Cards();
  if (!cards.chosen) {
    cards.chosen = true;
    cards.list = cards.reading.valid() ? cards.reading.get() : SystemList();
  }
  return cards.list ? &*cards.list : nullptr;
}

void ReadKnownCardListAhead() {
  KnownCards& cards = Cards();
  if (!cards.chosen && !cards.reading.valid()) cards.reading = std::async(std::launch::async, SystemList);
}

std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr) {
  return AtrInfoLines(atr, KnownCardListInUse());
}

void UseKnownCardList(KnownCardList list) {
  Cards().chosen = true;
  Cards().list = std::move(list);
}

}  // namespace tessaly

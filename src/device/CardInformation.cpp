#include "device/CardInformation.h"

#include <optional>
#include <utility>

#include "atr/AtrInfoLines.h"
#include "atr/KnownCardList.h"

namespace tessaly {
namespace {

struct KnownCards {
  bool chosen = false;
  std::optional<KnownCardList> list;
};

KnownCards& Cards() {
  static KnownCards cards;
  return cards;
}

}  // namespace

// Unless a list was chosen, the system's list is read on the first card only, so that a start without a
// card does not pay for it. A system list that cannot be read leaves the lines without card names.
const KnownCardList* KnownCardListInUse() {
  KnownCards& cards = Cards();
  if (!cards.chosen) {
    cards.chosen = true;
    try {
      cards.list = KnownCardList::LoadDefault();
    } catch (const EKnownCardListError&) {
      cards.list.reset();
    }
  }
  return cards.list ? &*cards.list : nullptr;
}

std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr) {
  return AtrInfoLines(atr, KnownCardListInUse());
}

void UseKnownCardList(KnownCardList list) {
  Cards().chosen = true;
  Cards().list = std::move(list);
}

}  // namespace tessaly

#include "device/CardInformation.h"

#include <optional>

#include "atr/AtrInfoLines.h"
#include "atr/KnownCardList.h"

namespace tessaly {
namespace {

// The system's list of known cards, read on the first card only, so that a start without a card does not
// pay for it. A list that cannot be read leaves the lines without card names.
const KnownCardList* KnownCards() {
  static const std::optional<KnownCardList> list = []() -> std::optional<KnownCardList> {
    try {
      return KnownCardList::LoadDefault();
    } catch (const EKnownCardListError&) {
      return std::nullopt;
    }
  }();
  return list ? &*list : nullptr;
}

}  // namespace

std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr) {
  return AtrInfoLines(atr, KnownCards());
}

}  // namespace tessaly

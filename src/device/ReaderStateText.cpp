#include "device/ReaderStateText.h"

#include <array>
#include <utility>

#include "device/PcscService.h"
#include "platform/HexText.h"

namespace tessaly {

std::vector<std::string> ReaderStateLines(std::uint32_t eventState, std::span<const std::uint8_t> atr) {
  // Every line reports a change, so the change flag is left out.
  static constexpr std::array<std::pair<std::uint32_t, const char*>, 10> kFlags{{
      {kStateIgnore, "IGNORE"},
      {kStateUnknown, "UNKNOWN"},
      {kStateUnavailable, "UNAVAILABLE"},
      {kStateEmpty, "EMPTY"},
      {kStatePresent, "PRESENT"},
      {kStateAtrMatch, "ATRMATCH"},
      {kStateExclusive, "EXCLUSIVE"},
      {kStateInUse, "INUSE"},
      {kStateMute, "MUTE"},
      {kStateUnpowered, "UNPOWERED"},
  }};
  std::string names;
  for (const auto& [flag, name] : kFlags) {
    if ((eventState & flag) == 0) continue;
    if (!names.empty()) names += '|';
    names += name;
  }
  std::vector<std::string> lines{"State=" + (names.empty() ? std::string("UNAWARE") : names)};
  if ((eventState & kStatePresent) != 0 && !atr.empty()) lines.push_back("ATR=" + HexText(atr));
  return lines;
}

}  // namespace tessaly

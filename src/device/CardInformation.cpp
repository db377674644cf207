#include "device/CardInformation.h"

#include "device/ApduText.h"

namespace tessaly {

std::vector<std::string> CardInformationLines(std::span<const std::uint8_t> atr) {
  return {"Answer to reset", "ATR=" + HexBytes(atr, true)};
}

}  // namespace tessaly

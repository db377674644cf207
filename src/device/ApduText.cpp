#include "device/ApduText.h"

#include <algorithm>

#include "device/PcscError.h"

namespace tessaly {

std::vector<std::uint8_t> ParseHexBytes(const std::string& text) {
  HexScan scan = ScanHexBytes(text, kTypedHexSyntax);
  if (scan.Stray) {
    throw EDeviceError("The command holds '" + std::string(1, text[*scan.Stray]) +
                       "', which is not a hexadecimal digit");
  }
  if (scan.HalfByte) throw EDeviceError("The command has an odd number of hexadecimal digits");
  return std::move(scan.Bytes);
}

void CheckCommandLength(std::span<const std::uint8_t> command) {
  if (command.size() < kShortestCommand) {
    throw EDeviceError("A command needs at least 4 bytes (CLA INS P1 P2); this one has " +
                       std::to_string(command.size()));
  }
  if (command.size() > kLongestCommand) {
    throw EDeviceError("A command has at most " + std::to_string(kLongestCommand) + " bytes; this one has " +
                       std::to_string(command.size()));
  }
}

std::span<const std::uint8_t> StatusWordOf(std::span<const std::uint8_t> response) {
  return response.last(std::min<std::size_t>(response.size(), 2));
}

}  // namespace tessaly

#include "device/CardExchange.h"

#include <optional>

namespace tessaly {
namespace {

// A card that keeps answering 61xx would otherwise hold the exchange for ever; 64 GET RESPONSEs bring up to
// 16 KiB, more than any short-length card returns to one command.
constexpr int kMostGetResponses = 64;

constexpr std::uint8_t kMoreData = 0x61;
constexpr std::uint8_t kWrongLe = 0x6C;

std::vector<std::uint8_t> GetResponse(std::uint8_t commandClass, std::uint8_t le) {
  // Inter-industry commands keep their logical channel; a proprietary class asks in the basic one.
  const std::uint8_t cla = (commandClass & 0x80) != 0 ? 0x00 : commandClass & 0x03;
  return {cla, 0xC0, 0x00, 0x00, le};
}

// The short command with its Le replaced (or added); nothing for an extended-length command.
std::optional<std::vector<std::uint8_t>> WithLe(const std::vector<std::uint8_t>& command, std::uint8_t le) {
  std::vector<std::uint8_t> repeated = command;
  const std::size_t size = command.size();
  if (size == 4) {
    repeated.push_back(le);
    return repeated;
  }
  const std::size_t lc = command[4];
  if (size == 5) {
    repeated[4] = le;
  } else if (lc != 0 && size == 5 + lc) {
    repeated.push_back(le);
  } else if (lc != 0 && size == 6 + lc) {
    repeated.back() = le;
  } else {
    return std::nullopt;
  }
  return repeated;
}

}  // namespace

ExchangeResult ExchangeWithCompletion(std::span<const std::uint8_t> command, const TransmitStep& transmit) {
  ExchangeResult result;
  std::vector<std::uint8_t> sent(command.begin(), command.end());
  result.Steps.push_back({sent, transmit(sent)});
  bool repeatedWithLe = false;
  for (int getResponses = 0; getResponses < kMostGetResponses;) {
    const std::vector<std::uint8_t>& response = result.Steps.back().Response;
    if (response.size() < 2) break;
    const std::uint8_t sw1 = response[response.size() - 2];
    const std::uint8_t sw2 = response.back();
    if (sw1 == kMoreData) {
      sent = GetResponse(command[0], sw2);
      ++getResponses;
    } else if (sw1 == kWrongLe && !repeatedWithLe) {
      // Only once: a card that rejects the Le it asked for would otherwise be asked again and again.
      auto repeated = WithLe(sent, sw2);
      if (!repeated) break;
      sent = std::move(*repeated);
      repeatedWithLe = true;
    } else {
      break;
    }
    result.Steps.push_back({sent, transmit(sent)});
  }
  result.Response = result.Steps.back().Response;
  return result;
}

}  // namespace tessaly

#include "device/CardExchange.h"

#include <optional>

namespace tessaly {
namespace {

// A card that keeps answering 61xx would otherwise hold the exchange for ever; 64 GET RESPONSEs bring up to
// 16 KiB, more than any short-length card returns to one command.
constexpr int kMostGetResponses = 64;

constexpr std::uint8_t kMoreData = 0x61;
constexpr std::uint8_t kWrongLe = 0x6C;

// The class byte of GET RESPONSE on the command's logical channel, in either interindustry coding: channels
// 0 to 3 in bits 2-1 (classes 00 to 3F), channels 4 to 19 in bits 4-1 (classes 40 to 7F). A proprietary
// class asks in the basic channel.
std::uint8_t GetResponseClass(std::uint8_t commandClass) {
  if ((commandClass & 0x80) != 0) return 0x00;
  if ((commandClass & 0x40) != 0) return static_cast<std::uint8_t>(0x40 | (commandClass & 0x0F));
  return commandClass & 0x03;
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

ExchangeCompletion::ExchangeCompletion(std::span<const std::uint8_t> command)
    : command_(command.begin(), command.end()), next_(command_) {}

bool ExchangeCompletion::Take(std::vector<std::uint8_t> answer) {
  result_.Steps.push_back({next_, answer});
  if (!HasStatusWord(answer)) {
    result_.Response = std::move(answer);
    return false;
  }
  const std::uint8_t sw1 = answer[answer.size() - 2];
  const std::uint8_t sw2 = answer.back();
  // Only once: a card that rejects the Le it asked for would otherwise be asked again and again.
  if (sw1 == kWrongLe && !repeatedWithLe_) {
    if (auto repeated = WithLe(next_, sw2)) {
      next_ = std::move(*repeated);
      repeatedWithLe_ = true;
      return true;
    }
  }
  data_.insert(data_.end(), answer.begin(), answer.end() - 2);
  if (sw1 == kMoreData && getResponses_ < kMostGetResponses) {
    next_ = {GetResponseClass(command_[0]), 0xC0, 0x00, 0x00, sw2};
    ++getResponses_;
    return true;
  }
  result_.Response = data_;
  result_.Response.insert(result_.Response.end(), {sw1, sw2});
  return false;
}

}  // namespace tessaly

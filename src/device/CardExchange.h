#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tessaly {

// One physical exchange with a card.
struct ExchangeStep {
  std::vector<std::uint8_t> Command, Response;
};

// Every physical exchange in order; Response == Steps.back().Response.
struct ExchangeResult {
  std::vector<std::uint8_t> Response;
  std::vector<ExchangeStep> Steps;
};

using TransmitStep = std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t> command)>;

// Sends the command and completes it the way T=0 asks of the caller: an answer 61xx is followed by GET
// RESPONSE with Le xx, an answer 6Cxx by the same command again with Le xx.
ExchangeResult ExchangeWithCompletion(std::span<const std::uint8_t> command, const TransmitStep& transmit);

}  // namespace tessaly
